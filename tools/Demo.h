// `halvorine demo`: the embedded default. Synthesises a drum groove, renders
// it through two factory programs and draws a picture comparing the three.
#pragma once

#include <string>

namespace halvorine {

// Writes everything into `folder` (created if missing) and tells the user
// where it is and what to listen for; answers the exit code. Throws
// std::runtime_error or Interrupted like render().
int runDemo(const std::string& folder, const std::string& plugin);

}  // namespace halvorine
