// Writes vestrel-cli's manual page, vestrel's and the bash completion for
// vestrel-cli from the command table. Run by the build (target vestrel_docs):
//   make_cli_docs (--bench | --no-bench) VESTREL_1 VESTREL_CLI_1 COMPLETION
#include "cli/cli_docs.h"
#include "platform/file_util.h"

#include <exception>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    const std::string bench = argc == 5 ? argv[1] : "";
    if (bench != "--bench" && bench != "--no-bench") {
        std::cerr << "usage: make_cli_docs (--bench | --no-bench) VESTREL_1 VESTREL_CLI_1 COMPLETION\n";
        return 2;
    }
    const bool withBench = bench == "--bench";
    try {
        vestrel::WriteFileAtomic(argv[2], vestrel::ApplicationManPage());
        vestrel::WriteFileAtomic(argv[3], vestrel::CliManPage(withBench));
        vestrel::WriteFileAtomic(argv[4], vestrel::CliCompletion(withBench));
    } catch (const std::exception& e) {
        std::cerr << "make_cli_docs: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
