#pragma once

// The filer program: prepares Qt, makes sure it is the only filer on its data folder, loads the
// agent profile once, and runs the main window until it closes.
class CCalvenorApp {
public:
    // The program's exit code. `--self-test` starts, shows the main window and quits, printing
    // any message it would have shown; `--help` and `--version` print and return.
    static int Run(int argc, char** argv);

    // Lets the fraud-prevention header builder read every screen's size, logical DPI and colour
    // depth when it builds; run before the main window (and its service object) is made.
    static void HandOverScreenFacts();
};
