#pragma once

// The approvals program: prepares Qt, loads the agent profile once and runs the main window
// until it closes. It makes no network access.
class CPellwickApp {
public:
    // The program's exit code. `--self-test` starts, shows the main window and quits, printing
    // any message it would have shown; `--help` and `--version` print and return.
    static int Run(int argc, char** argv);
};
