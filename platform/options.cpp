#include "platform/options.h"

EngineOptions engine_options;
