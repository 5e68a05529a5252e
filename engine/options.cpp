#include "engine/options.h"

EngineOptions engine_options;
