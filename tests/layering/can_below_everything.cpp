// The CAN layer links the platform alone: no header of the modules that use
// it (the project files, the compiler, the check, the signal databases, the
// gateway, the bench tools) is within its reach. tests/layering/CMakeLists.txt
// builds this to prove it.
#if !defined(__has_include)
#error "the compiler cannot tell whether a header is within reach"
#elif __has_include("project/project_files.h")
#error "the project files are within reach of the CAN layer"
#elif __has_include("compiler/bank_builder.h")
#error "the compiler is within reach of the CAN layer"
#elif __has_include("inspect/project_check.h")
#error "the project check is within reach of the CAN layer"
#elif __has_include("signaldb/signal_database.h")
#error "the signal databases are within reach of the CAN layer"
#elif __has_include("gateway/gateway_model.h")
#error "the gateway model is within reach of the CAN layer"
#elif __has_include("live/send_schedule.h")
#error "the bench tools are within reach of the CAN layer"
#endif
