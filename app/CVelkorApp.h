// The application object: runs the main dialog modally, then destroys it, which tears
// everything down in order.
#pragma once

namespace velkor {

class CVelkorApp {
public:
    // Runs the program; false, as the program has ended when it returns.
    bool InitInstance();

    // Every line the log list gets is also printed to standard output.
    bool echoLog = false;
};

} // namespace velkor
