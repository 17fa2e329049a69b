#pragma once

namespace vd::app {

// Starts the desktop application and runs its event loop.
int lancerApplication(int argc, char** argv);

} // namespace vd::app
