// The plots' core links neither the application nor Qt, so
// vestrel-cli plot runs without any UI; tests/layering/CMakeLists.txt builds
// this to prove it.
#if !defined(__has_include)
#error "the compiler cannot tell whether a header is within reach"
#elif __has_include("app/main_window.h")
#error "an application header is within reach of a module below the application"
#elif __has_include(<QtCore/QObject>) || __has_include(<QWidget>)
#error "Qt is within reach of the plots' core"
#endif
