#include "cli/cli.h"

#include "cli/arguments.h"
#include "platform/error.h"
#include "platform/printable_text.h"
#include "vestrel/version.h"

#include <map>
#include <ostream>

namespace vestrel {

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  vestrel-cli build PROJECT_DIR [--strict] [--no-wait]\n"
    "      Check the project, then compile it into PROJECT_DIR/bin: bank1.bin to\n"
    "      bank5.bin, bankg.c and banks.sha256 (the SHA-256 of each). What the check\n"
    "      finds is printed on stderr; an error stops the build before anything is\n"
    "      written, and so does a warning with --strict.\n"
    "  vestrel-cli merge BASE_IMAGE BIN_DIR OUT_IMAGE [--banks 1,2] [--no-wait]\n"
    "      Splice the selected banks (default 1 and 2) of BIN_DIR into the S-record\n"
    "      image BASE_IMAGE and write OUT_IMAGE, only when every selected bank was\n"
    "      spliced in. BASE_IMAGE is checked record by record first.\n"
    "  vestrel-cli update PROJECT_DIR BASE_IMAGE [--strict] [--no-wait]\n"
    "      Build, then merge banks 1 and 2 into PROJECT_DIR/New_<name of BASE_IMAGE>.\n"
    "  vestrel-cli check PROJECT_DIR\n"
    "      List what stops the project from compiling (errors) and what compiles but is\n"
    "      probably not meant (warnings), one a line on stdout, errors first. Exit\n"
    "      status 1 when there is an error.\n"
    "  vestrel-cli decode (IMAGE.sx | BIN_DIR) [--out PROJECT_DIR] [--no-wait]\n"
    "      Read banks 1 and 2 back from an S-record image or from BIN_DIR/bank1.bin and\n"
    "      bank2.bin and print what they configure. With --out, write a project that\n"
    "      compiles back to the same banks into PROJECT_DIR, which must hold no project\n"
    "      files yet. What the banks do not keep is said on stderr.\n"
    "  vestrel-cli preview SOURCE FRAME... | preview SOURCE --registers REG=VALUE,...\n"
    "      What the gateway does with CAN frames given as ID#DATA (3 hex digits for a\n"
    "      standard id, 8 for an extended one, ID#R for a remote frame, ID##F... for\n"
    "      CAN FD), or as whole lines of candump's output: the registers each frame\n"
    "      sets. With --registers, the transmit frames those values give.\n"
    "  vestrel-cli replay SOURCE LOG [--out FILE] [--channel C] [--strict]\n"
    "      Feed a CAN log (candump -l or its screen format, Vector ASC or BLF, PEAK\n"
    "      TRC; the format is read from the content) through the gateway: every\n"
    "      register change as CSV on stdout or into FILE, and a summary of the\n"
    "      traffic on stderr. --channel takes only the frames of one channel as the\n"
    "      log names it (can0, 1); --strict stops at the first broken line. Exit\n"
    "      status 1 when no frame could be read. LOG - reads standard input.\n"
    "  vestrel-cli report SOURCE [--format html|csv|md] [--out FILE]\n"
    "      The register map: settings, the registers of each direction and a picture\n"
    "      of each frame's data bytes (html, the default), or its tables (csv, md).\n"
    "  SOURCE is a project folder, a folder with bank1.bin and bank2.bin, or an\n"
    "  S-record image.\n"
    "  vestrel-cli signals DATABASE [--node N] [--word-order high-first|low-first]\n"
    "      Every message and signal of a CAN database (.dbc, or a CANopen .eds or\n"
    "      .dcf with the node id N, 1 to 127, where its COB-IDs use $NODEID), and what\n"
    "      an import would make of each: the registers and which data bytes feed\n"
    "      their halves, the shift and mask the PLC applies, or why it is refused.\n"
    "      Registers of a signal over more than 16 bits are listed high word first,\n"
    "      or low word first with --word-order low-first.\n"
    "  vestrel-cli import-signals PROJECT_DIR DATABASE [--node N] [--receive LIST]\n"
    "          [--transmit LIST] [--first-register N] [--word-order high-first|low-first]\n"
    "          [--dry-run] [--prune] [--no-wait]\n"
    "      Map signals of a CAN database into the project: the frames the gateway\n"
    "      receives (--receive) or transmits (--transmit), their registers, and what\n"
    "      each register means in PROJECT_DIR/signals.xml. LIST is comma-separated\n"
    "      MESSAGE (all its signals), MESSAGE.SIGNAL or MESSAGE.SIGNAL=REGISTER.\n"
    "      Registers are numbered from N (default: one above the highest the\n"
    "      direction uses). A frame with the message's COB-ID is reused; importing\n"
    "      a message again updates its rows. What collides with the project, or does\n"
    "      not fit the banks, is refused before anything is written. Prints each\n"
    "      register assigned (with --dry-run, what it would assign, writing nothing);\n"
    "      --prune removes what was imported from DATABASE and has left it.\n"
    "  vestrel-cli remove-signals PROJECT_DIR MESSAGE[.SIGNAL] ... [--dry-run] [--no-wait]\n"
    "      Remove imported signals, their mapping rows and signals.xml entries, and the\n"
    "      frames the import had added once nothing maps them.\n"
#ifdef VESTREL_CLI_BENCH
    "  vestrel-cli verify SOURCE --can PLUGIN:IFACE --modbus PORT [--function 3|4]\n"
    "          [--seconds N] [--frames N] [--write REG=VALUE,...] [--frame-wait MS]\n"
    "          [--strict] [bench options]\n"
    "      Check a gateway on the bench: listen to the CAN bus for N seconds (default\n"
    "      5; --frames N stops after N frames) and work out what each receive register\n"
    "      should hold, then read those registers from the device with function 03\n"
    "      (default) or 04 and compare: one line per register (OK, MISMATCH, ERROR, or\n"
    "      NOT FED when no frame fed it) and a summary. With --write, write the\n"
    "      registers (06 for one, 16 for consecutive ones) and check that the transmit\n"
    "      frames they feed appear with the expected bytes within --frame-wait MS\n"
    "      (default 1000). Exit status 1 on any mismatch, Modbus error or missing frame,\n"
    "      and when nothing could be compared; NOT FED registers are not checked and\n"
    "      do not fail the run unless --strict.\n"
    "  vestrel-cli simulate SOURCE --can PLUGIN:IFACE --modbus PORT [--seconds N]\n"
    "          [bench options]\n"
    "      A simulated gateway for bench tests and PLC work: a Modbus RTU slave on\n"
    "      PORT serving the project's register mapping (the same registers to 03 and\n"
    "      04), fed by the frames of the CAN interface; a register write sends the\n"
    "      transmit frames it feeds. It models the mapping only and is not the device.\n"
    "      Prints each change; runs until interrupted (Ctrl+C, SIGTERM) or N seconds.\n"
    "  Bench options: --serial RATE,8E1 and --address N replace the project's serial\n"
    "  settings and device address; --timeout MS is the Modbus time-out (verify,\n"
    "  default 1000). --index-base says how a register number of the project (its\n"
    "  Index) becomes the protocol address of a request: 0 (the default) takes the\n"
    "  Index as the protocol address, as the gateway's firmware reads it from the\n"
    "  banks; 1 takes it as a 1-based register number (protocol address = Index - 1).\n"
    "  PLUGIN:IFACE names a Qt SerialBus CAN plugin and its interface: socketcan:can0,\n"
    "  virtualcan:can0 or virtualcan:tcp://127.0.0.1:PORT/can0. The project's CAN bit\n"
    "  rate is asked of the plugin.\n"
#endif
    "  vestrel-cli --help | --version\n"
    "\n"
    "Runs that write into the same folders take turns: a second one waits for the\n"
    "first, or with --no-wait stops at once with a message. \"--\" ends the options.\n"
    "No output may be one of the run's inputs (by any path, hard links included);\n"
    "an output that is a symbolic link is written where the link leads. A project\n"
    "folder must hold at least one of the five project files.\n"
    "\n"
    "Exit status: 0 when everything asked for was done; 1 when it was not (the reason\n"
    "is printed on stderr); 2 for a command line that was not understood.\n"
    "SOURCE_DATE_EPOCH, when set, gives the compile stamp instead of the clock.\n";

using Command = int (*)(const std::vector<std::string>&, CliContext&);

const std::map<std::string, Command> kCommands = {
    {"build", BuildCommand},     {"update", UpdateCommand}, {"merge", MergeCommand},
    {"check", CheckCommand},     {"decode", DecodeCommand}, {"preview", PreviewCommand},
    {"replay", ReplayCommand},   {"report", ReportCommand}, {"signals", SignalsCommand},
    {"import-signals", ImportSignalsCommand}, {"remove-signals", RemoveSignalsCommand},
#ifdef VESTREL_CLI_BENCH
    {"verify", VerifyCommand},   {"simulate", SimulateCommand},
#endif
};

int Dispatch(const std::vector<std::string>& args, CliContext& cli) {
    if (args.empty()) throw UsageError{"a command is needed"};
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        cli.out << kUsage;
        return kExitOk;
    }
    if (command == "--version") {
        cli.out << "vestrel-cli " << kProductVersion << '\n';
        return kExitOk;
    }
    auto it = kCommands.find(command);
    if (it == kCommands.end()) throw UsageError{"unknown command '" + command + "'"};
    return it->second(std::vector<std::string>(args.begin() + 1, args.end()), cli);
}

}  // namespace

void CliContext::Say(const std::string& text) const {
    err << "vestrel-cli: " << PrintableText(text, LineBreaks::OneLine) << '\n';
}

void CliContext::Done(const std::string& text) const { err << PrintableText(text, LineBreaks::OneLine) << '\n'; }

int RunCli(const std::vector<std::string>& args, CliContext& cli) {
    try {
        return Dispatch(args, cli);
    } catch (const UsageError& e) {
        cli.Say(e.text);
        cli.err << "Try 'vestrel-cli --help'.\n";
        return kExitUsage;
    } catch (const std::exception& e) {
        cli.Say(e.what());
        return kExitFailed;
    }
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal) {
    CliContext cli{out, err, terminal, {}, {}};
    return RunCli(args, cli);
}

}  // namespace vestrel
