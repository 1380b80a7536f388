// Must not compile: the editors do not link the application's module, so its
// headers are out of their reach. tests/layering/CMakeLists.txt builds this
// on purpose and expects the include to fail.
#include "app/workspace.h"
