#include "relayed_game.h"

#include <unistd.h>

#include <cstdio>
#include <thread>

#include "support.h"

namespace test_support {

bool PlayRelayed(const RelayedGame& game, RelayedSides* out, const std::function<void(NetRelay&)>& meanwhile) {
    NetRelay relay;
    if (!relay.start(game.host_port + 1, game.host_port, game.network)) return false;
    const char* side_names[2] = {"blue", "red"};
    std::vector<std::string> args[2];
    std::string logs[2];
    for (int i = 0; i < 2; ++i) {
        logs[i] = OutputPath(game.name + "_" + side_names[i] + ".log");
        std::remove(logs[i].c_str());
        args[i] = {"--headless", "--frames", std::to_string(game.frames), "--net-log", logs[i]};
        if (i == 0) args[i].insert(args[i].end(), {"--host", std::to_string(game.host_port)});
        else args[i].insert(args[i].end(), {"--join", "127.0.0.1:" + std::to_string(game.host_port + 1)});
        const std::vector<std::string>& own = i ? game.guest : game.host;
        args[i].insert(args[i].end(), own.begin(), own.end());
        if (game.traces) {
            out->trace[i] = OutputPath(game.name + "_" + side_names[i] + ".jsonl");
            args[i].insert(args[i].end(), {"--trace", out->trace[i]});
        }
    }
    std::thread host([&] { out->code[0] = RunGame(args[0], &out->err[0]); });
    std::thread guest([&] {
        usleep(300 * 1000);
        out->code[1] = RunGame(args[1], &out->err[1]);
    });
    if (meanwhile) meanwhile(relay);
    host.join();
    guest.join();
    relay.stop();
    for (int i = 0; i < 2; ++i) out->log[i] = ReadNetLog(logs[i]);
    out->to_host = relay.datagrams_to_host.load();
    out->to_guest = relay.datagrams_to_guest.load();
    out->dropped = relay.dropped.load();
    out->overtaken = relay.reordered.load();
    out->cut_off = relay.cut_off.load();
    return true;
}

}  // namespace test_support
