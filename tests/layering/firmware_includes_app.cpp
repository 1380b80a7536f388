// Must not compile: the firmware dialog does not link the application's
// module, so its headers are out of its reach. tests/layering/CMakeLists.txt
// builds this on purpose and expects the include to fail.
#include "app/workspace.h"
