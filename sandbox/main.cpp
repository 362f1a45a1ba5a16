// calvenor-sandbox: serves a local stand-in for HMRC's OAuth and VAT endpoints on 127.0.0.1
// until SIGINT or SIGTERM.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "SandboxServer.h"

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: calvenor-sandbox [--port N] [--state FILE]\n"
                 "Serves a local stand-in for HMRC's OAuth and VAT (MTD) endpoints on 127.0.0.1.\n"
                 "  --port N      port to listen on (default %d; 0 picks a free one)\n"
                 "  --state FILE  keep clients, tokens, returns and accounts in FILE across runs\n"
                 "Stop it with Ctrl+C (SIGINT) or SIGTERM.\n",
                 calvenor::sandbox::kDefaultPort);
}

bool ParsePort(const char* text, int& port) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0 || value > 65535)
        return false;
    port = static_cast<int>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace calvenor::sandbox;
    int port = kDefaultPort;
    SandboxOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("calvenor-sandbox %s\n", CALVENOR_VERSION);
            return 0;
        }
        if (arg == "--port" && i + 1 < argc) {
            if (!ParsePort(argv[++i], port)) {
                std::fprintf(
                    stderr,
                    "calvenor-sandbox: --port needs a number from 0 to 65535, not \"%s\".\n",
                    argv[i]);
                return 2;
            }
        } else if (arg == "--state" && i + 1 < argc) {
            options.stateFile = argv[++i];
        } else {
            std::fprintf(stderr, "calvenor-sandbox: unknown or incomplete option \"%s\".\n",
                         arg.c_str());
            PrintUsage(stderr);
            return 2;
        }
    }

    // Signals are taken synchronously below; block them before any server thread exists so
    // every thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    SandboxServer server(options);
    if (!server.Start(port)) {
        std::fprintf(stderr, "calvenor-sandbox: %s\n", server.LastError().c_str());
        return 1;
    }
    std::printf("calvenor-sandbox is serving HMRC's OAuth and VAT endpoints at %s\n",
                server.BaseUrl().c_str());
    std::printf("  client_id:     %.*s\n", static_cast<int>(kDemoClientId.size()),
                kDemoClientId.data());
    std::printf("  client_secret: %.*s\n", static_cast<int>(kDemoClientSecret.size()),
                kDemoClientSecret.data());
    std::printf("  state file:    %s\n", options.stateFile.empty()
                                             ? "none (everything is forgotten on exit)"
                                             : options.stateFile.c_str());
    std::printf("  clients:\n");
    for (const auto& client : server.Clients())
        std::printf("    %s : %s%s\n", client.vrn.c_str(), client.companyName.c_str(),
                    client.authorised ? "" : "  (has not authorised the agent)");
    std::printf("Stop with Ctrl+C.\n");
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::printf("calvenor-sandbox: stopping (%s).\n", signal == SIGINT ? "SIGINT" : "SIGTERM");
    server.Stop();
    return 0;
}
