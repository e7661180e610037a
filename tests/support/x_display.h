// An X display for tests that open windows: the shared Xvfb server that the
// test run started, or a private one for a test binary run on its own.
#pragma once

#include <string>

namespace lumo::testing {

// The display name (":N"), also set as DISPLAY in this process's environment.
// Uses, in this order: LUMO_TEST_DISPLAY; the server named in the file that
// LUMO_TEST_DISPLAY_FILE points to, when it is running; a private Xvfb started
// now and stopped when the process exits.
const std::string& TestDisplay();

}  // namespace lumo::testing
