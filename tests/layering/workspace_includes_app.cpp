// The workspace logic does not link the application's module, so its headers are out of
// its reach; tests/layering/CMakeLists.txt builds this to prove it.
#if !defined(__has_include)
#error "the compiler cannot tell whether a header is within reach"
#elif __has_include("app/main_window.h")
#error "an application header is within reach of a module below the application"
#endif
