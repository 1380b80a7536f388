#include "cli/command_table.h"

#include "can/log_formats.h"
#include "workspace/workspace.h"

#include <sstream>
#include <stdexcept>

namespace vestrel {

// Each command's function, in the command's own file; the entries below
// carry them. The bench commands are built with the bench tools only.
int BuildCommand(const Arguments& args, CliContext& cli);
int UpdateCommand(const Arguments& args, CliContext& cli);
int MergeCommand(const Arguments& args, CliContext& cli);
int CheckCommand(const Arguments& args, CliContext& cli);
int DecodeCommand(const Arguments& args, CliContext& cli);
// Exits as diff(1): 0 the same, 1 different, 2 when they could not be compared.
int DiffCommand(const Arguments& args, CliContext& cli);
int PreviewCommand(const Arguments& args, CliContext& cli);
int ReplayCommand(const Arguments& args, CliContext& cli);
int PlotCommand(const Arguments& args, CliContext& cli);
int ReportCommand(const Arguments& args, CliContext& cli);
int SignalsCommand(const Arguments& args, CliContext& cli);
int ImportSignalsCommand(const Arguments& args, CliContext& cli);
int RemoveSignalsCommand(const Arguments& args, CliContext& cli);
int WorkspaceCommand(const Arguments& args, CliContext& cli);
#ifdef VESTREL_CLI_BENCH
int VerifyCommand(const Arguments& args, CliContext& cli);
int SimulateCommand(const Arguments& args, CliContext& cli);
int SendCommand(const Arguments& args, CliContext& cli);
int PlayCommand(const Arguments& args, CliContext& cli);
int StimulateCommand(const Arguments& args, CliContext& cli);
#define VESTREL_BENCH_RUN(function) function
#else
#define VESTREL_BENCH_RUN(function) nullptr
#endif

namespace {

// Options several commands share.
const OptionSpec kNoWait{"no-wait", {}, {}, "stop at once when another run holds the folders instead of waiting"};
const OptionSpec kStrict{"strict", {}, {}, "a warning of the project check stops the build too"};
const OptionSpec kNode{"node", "N", "a node id (1 to 127)", "the CANopen node id that $NODEID stands for in an .eds or .dcf"};
const OptionSpec kNodeCobIds{"node-cob-ids", {}, {},
                             "take each PDO's COB-ID from its DefaultValue with the node id, over a ParameterValue"};
const OptionSpec kDatabaseStrict{"strict", {}, {},
                                 "a DBC statement that cannot be read refuses the whole file instead of being skipped"};
const OptionSpec kWordOrder{"word-order",     {}, "high-first or low-first",
                            "which register of a signal over 16 bits holds the high word", "high-first",
                            ValueKind::Choice, {"high-first", "low-first"}};
const OptionSpec kOutFile{"out", "FILE", "a file name", "write into FILE instead of standard output", {}, ValueKind::File};

// Where the gateway is on the bench and how to reach it.
const OptionSpec kCan{"can", "PLUGIN:IFACE", "a CAN interface such as socketcan:can0",
                      "the Qt SerialBus CAN plugin and interface of the bus", {}, ValueKind::CanInterface, {},
                      {"socketcan:can0", "socketcan:can1", "socketcan:vcan0", "virtualcan:can0", "virtualcan:can1",
                       "virtualcan:tcp://127.0.0.1:"},
                      OptionPlace::Required};
const OptionSpec kModbus{"modbus", "PORT", "a serial port such as /dev/ttyUSB0", "the serial port of the Modbus RTU line",
                         {}, ValueKind::SerialPort, {}, {}, OptionPlace::Required};
const OptionSpec kSerial{"serial", "RATE,8E1", "serial settings such as 19200,8E1",
                         "the bit rate, data bits, parity and stop bits instead of the project's", {}, ValueKind::Text,
                         {}, {}, OptionPlace::Grouped};
const OptionSpec kAddress{"address", "N", "a device address from 1 to 247",
                          "the Modbus device address instead of the project's", {}, ValueKind::Text, {}, {},
                          OptionPlace::Grouped};
const OptionSpec kIndexBase{"index-base", {}, "0 or 1",
                            "0: a register's Index is its protocol address; 1: a 1-based register number", "0",
                            ValueKind::Choice, {"0", "1"}, {}, OptionPlace::Grouped};
const OptionSpec kTimeout{"timeout", "MS", "milliseconds", "the Modbus time-out in milliseconds", "1000",
                          ValueKind::Text, {}, {}, OptionPlace::Grouped};

const OptionSpec kVerifySeconds{"seconds", "N", "a number of seconds", "listen to the bus for N seconds", "5"};
const OptionSpec kFrameWait{"frame-wait", "MS", "milliseconds",
                            "how long a transmit frame a write feeds may take to appear", "1000"};

// Compiling a project and putting its banks into an image.
std::vector<CommandSpec> CompileCommands() {
    return {
        {"build", BuildCommand,
         {"PROJECT_DIR"},
         {ValueKind::Folder},
         {kStrict, kNoWait},
         "Check the project, then compile it into PROJECT_DIR/bin: bank1.bin to\n"
         "bank5.bin, bankg.c and banks.sha256 (the SHA-256 of each). What the check\n"
         "finds is printed on stderr; an error stops the build before anything is\n"
         "written, and so does a warning with --strict.\n"},
        {"merge", MergeCommand,
         {"BASE_IMAGE BIN_DIR OUT_IMAGE"},
         {ValueKind::File, ValueKind::Folder, ValueKind::File},
         {{"banks", "1,2", "a list such as 1,2", "the banks to splice in, numbers 1 to 5 separated by commas", "1,2"},
          kNoWait},
         "Splice the selected banks (default 1 and 2) of BIN_DIR into the S-record\n"
         "image BASE_IMAGE and write OUT_IMAGE, only when every selected bank was\n"
         "spliced in. BASE_IMAGE is checked record by record first.\n"},
        {"update", UpdateCommand,
         {"PROJECT_DIR BASE_IMAGE"},
         {ValueKind::Folder, ValueKind::File},
         {kStrict, kNoWait},
         "Build, then merge banks 1 and 2 into PROJECT_DIR/New_<name of BASE_IMAGE>.\n"},
        {"check", CheckCommand,
         {"PROJECT_DIR"},
         {ValueKind::Folder},
         {},
         "List what stops the project from compiling (errors) and what compiles but is\n"
         "probably not meant (warnings), one a line on stdout, errors first. Exit\n"
         "status 1 when there is an error.\n"},
        {"decode", DecodeCommand,
         {"(IMAGE.sx | BIN_DIR)"},
         {ValueKind::Path},
         {{"out", "PROJECT_DIR", "a project folder", "write a project that compiles back to the same banks",
           {}, ValueKind::Folder},
          kNoWait},
         "Read banks 1 and 2 back from an S-record image or from BIN_DIR/bank1.bin and\n"
         "bank2.bin and print what they configure. With --out, write a project that\n"
         "compiles back to the same banks into PROJECT_DIR, which must hold no project\n"
         "files yet. What the banks do not keep is said on stderr.\n"},
        {"diff", DiffCommand,
         {"OLD NEW"},
         {ValueKind::Path, ValueKind::Path},
         {{"format", {}, "text, md or html", "text: one change a line; md, html: the same as a document", "text",
           ValueKind::Choice, {"text", "md", "html"}},
          {"stamps", {}, {}, "count differing compile stamps as a change"},
          {"old-label", "NAME", "a name", "name OLD so in the head instead of by its path"},
          {"new-label", "NAME", "a name", "name NEW so in the head instead of by its path"},
          kOutFile},
         "What changes between two configurations, each a project folder, a folder\n"
         "with bank1.bin and bank2.bin or an S-record image: the settings, the frames\n"
         "of each direction (matched by COB-ID), the registers and the frame bytes\n"
         "they are fed from or feed, the imported signals, and for two images what\n"
         "lies outside the banks. One change a line under both sides' SHA-256 (of a\n"
         "folder: of its files' sha256sum lines); a change that never reaches the\n"
         "device says so. Compile stamps are no change without --stamps; bank bytes\n"
         "that no field explains are named. Exit status 0 when the two configure the\n"
         "same, 1 when they differ, 2 when they could not be compared.\n"},
    };
}

std::string Wrap(const std::string& first, const std::vector<std::string>& words, std::size_t width,
                 const std::string& indent);

// A paragraph of help text broken into lines of at most `width` columns.
std::string Paragraph(const std::string& text, std::size_t width) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    if (words.empty()) return {};
    const std::string first = words.front();
    words.erase(words.begin());
    return Wrap(first, words, width, "");
}

// What the gateway does with a configuration.
std::vector<CommandSpec> GatewayCommands() {
    return {
        {"preview", PreviewCommand,
         {"SOURCE FRAME...", "SOURCE --registers REG=VALUE,...", "SOURCE --signals NAME=VALUE,..."},
         {ValueKind::Path, ValueKind::Text},
         {{"registers", "REG=VALUE,...", "a list such as 40=0x1234,41=7",
           "show the transmit frames these register values give", {}, ValueKind::Text, {}, {}, OptionPlace::InForm},
          {"signals", "NAME=VALUE,...", "a list such as Speed=1500,Target velocity=-2.5",
           "show the transmit frames these physical values of imported signals give", {}, ValueKind::Text, {}, {},
           OptionPlace::InForm}},
         "What the gateway does with CAN frames given as ID#DATA (3 hex digits for a\n"
         "standard id, 8 for an extended one, ID#R for a remote frame, ID##F... for\n"
         "CAN FD), or as whole lines of candump's output: the registers each frame\n"
         "sets. With --registers, the transmit frames those values give; with\n"
         "--signals, those the physical values of the project's imported signals\n"
         "give (both together: the signals' bits win). A signal is named as imported,\n"
         "blanks included (quote the list for the shell: --signals \"Target velocity=100\"),\n"
         "or as MESSAGE.SIGNAL where two messages hold a signal of that name; pairs are\n"
         "separated by commas. Where signals were imported, each register's line ends\n"
         "with their physical values.\n"},
        {"replay", ReplayCommand,
         {"SOURCE LOG"},
         {ValueKind::Path, ValueKind::File},
         {{"out", "FILE", "a file name", "write the register changes into FILE instead of standard output", {},
           ValueKind::File},
          {"channel", "C", "a channel such as can0 or 1", "take only the frames of this channel as the log names it"},
          {"strict", {}, {}, "stop at the first line that cannot be read"},
          {"signals", {}, {}, "a row per change of an imported signal's physical value instead"}},
         Paragraph("Feed a CAN log (" + can::LogFormatsInWords() +
                       "; the format is read from the content) through the gateway: every register change as CSV "
                       "on stdout or into FILE, and a summary of the traffic on stderr. --channel takes only the "
                       "frames of one channel as the log names it (can0, 1); --strict stops at the first broken "
                       "line; with --signals, a row per change of an imported signal's physical value (time, "
                       "signal, value, unit, frame, cob_id). Exit status 1 when no frame could be read. LOG - "
                       "reads standard input.",
                       74)},
        {"plot", PlotCommand,
         {"SOURCE LOG"},
         {ValueKind::Path, ValueKind::File},
         {{"out", "FILE", "a file name ending in .html or .svg",
           "write the charts into FILE: one self-contained page (.html) or a picture (.svg)", {}, ValueKind::File, {},
           {}, OptionPlace::Required},
          {"signals", "NAME,...", "a list such as ActualSpeed,DriveStatus.StatusWord",
           "chart these imported signals (NAME or MESSAGE.SIGNAL)"},
          {"registers", "N,...", "a list such as 1,2,100", "chart these registers' raw values"},
          {"from", "S", "seconds after the log's first frame", "begin the charts S seconds after the log's first frame"},
          {"to", "S", "seconds after the log's first frame", "end the charts S seconds after the log's first frame"},
          {"channel", "C", "a channel such as can0 or 1", "take only the frames of this channel as the log names it"},
          {"strict", {}, {}, "stop at the first line that cannot be read"}},
         Paragraph("Chart what a Modbus master reads from the gateway while the frames of a CAN log (" +
                       can::LogFormatsInWords() +
                       ") come in: each imported signal's physical value, or each mapped register's raw value, "
                       "against the log's time (--signals and --registers choose; both directions, transmit values "
                       "where the log holds the gateway's own frames). Unknown values are gaps; marks show where a "
                       "frame stayed away longer than its cycle time or the project's data time-out. --from and --to "
                       "cut a stretch; --channel and --strict as for replay, whose summary goes to stderr.",
                       74)},
        {"report", ReportCommand,
         {"SOURCE"},
         {ValueKind::Path},
         {{"format", {}, "html, csv or md", "html: the register map as a page; csv, md: its tables", "html",
           ValueKind::Choice, {"html", "csv", "md"}},
          kOutFile},
         "The register map: settings, the registers of each direction and a picture\n"
         "of each frame's data bytes (html, the default), or its tables (csv, md).\n"},
    };
}

// CAN databases and their signals in a project.
std::vector<CommandSpec> SignalCommands() {
    return {
        {"signals", SignalsCommand,
         {"DATABASE"},
         {ValueKind::File},
         {kNode, kNodeCobIds, kWordOrder, kDatabaseStrict},
         "Every message and signal of a CAN database (.dbc, or a CANopen .eds or\n"
         ".dcf with the node id N, 1 to 127, where its COB-IDs use $NODEID), and what\n"
         "an import would make of each: the registers and which data bytes feed\n"
         "their halves, the shift and mask the PLC applies, or why it is refused.\n"
         "Registers of a signal over more than 16 bits are listed high word first,\n"
         "or low word first with --word-order low-first. A PDO says where its COB-ID\n"
         "comes from; --node-cob-ids takes the node id's over a ParameterValue. A DBC\n"
         "statement that cannot be read is skipped with a note where it only adds a\n"
         "comment, value table or attribute, and refuses its message where it defines\n"
         "one; --strict refuses the whole file instead.\n"},
        {"import-signals", ImportSignalsCommand,
         {"PROJECT_DIR DATABASE"},
         {ValueKind::Folder, ValueKind::File},
         {kNode, kNodeCobIds,
          {"receive", "LIST", "a list such as Message,Message.Signal=10", "the signals of frames the gateway receives"},
          {"transmit", "LIST", "a list such as Message,Message.Signal=10", "the signals of frames the gateway transmits"},
          {"first-register", "N", "a register number", "number new registers from N"},
          {"first-transmit-register", "N", "a register number", "number new transmit registers from N"},
          kWordOrder, kDatabaseStrict,
          {"dry-run", {}, {}, "say what would be assigned and write nothing"},
          {"prune", {}, {}, "remove what was imported from DATABASE and has left it"},
          {"adopt-rows", {}, {}, "take rows that map exactly what the import maps as its own (a lost signals.xml)"},
          kNoWait},
         "Map signals of a CAN database into the project: the frames the gateway\n"
         "receives (--receive) or transmits (--transmit), their registers, and what\n"
         "each register means in PROJECT_DIR/signals.xml. LIST is comma-separated\n"
         "MESSAGE (all its signals), MESSAGE.SIGNAL or MESSAGE.SIGNAL=REGISTER.\n"
         "Registers are numbered from N (default: one above the highest the\n"
         "direction uses; transmit registers of a project without any start above\n"
         "the receive registers, or at --first-transmit-register N), passing over\n"
         "every number the other direction uses. A frame with the message's COB-ID\n"
         "is reused, and a frame given another COB-ID since keeps it; importing\n"
         "a message again updates its rows. What collides with the project, or does\n"
         "not fit the banks, is refused before anything is written. Prints each\n"
         "register assigned (with --dry-run, what it would assign, writing nothing);\n"
         "--prune removes what was imported from DATABASE and has left it. Where\n"
         "signals.xml was lost or damaged (move it away), importing the same messages\n"
         "with --adopt-rows takes the rows that map exactly their registers' bytes\n"
         "back as the import's, with their numbers.\n"},
        {"remove-signals", RemoveSignalsCommand,
         {"PROJECT_DIR MESSAGE[.SIGNAL] ..."},
         {ValueKind::Folder, ValueKind::Text},
         {{"dry-run", {}, {}, "say what would be removed and write nothing"}, kNoWait},
         "Remove imported signals, their mapping rows and signals.xml entries, and the\n"
         "frames the import had added once nothing maps them.\n"},
    };
}

// The application's workspace.
std::vector<CommandSpec> WorkspaceCommands() {
    return {
        {"workspace", WorkspaceCommand,
         {},
         {},
         {},
         "Print the folder the application keeps its workspace in (base image,\n"
         "projects, flasher). An installed copy's empty workspace is first filled with\n"
         "the demo workspace, as the application's first start fills it, so that\n"
         "update \"$(vestrel-cli workspace)/PROJECTS/Demo\" works at once; nothing\n"
         "there is ever replaced.\n"},
    };
}

// On real buses: only in builds with the bench tools.
std::vector<CommandSpec> BenchCommands() {
    return {
        {"verify", VESTREL_BENCH_RUN(VerifyCommand),
         {"SOURCE"},
         {ValueKind::Path},
         {kCan, kModbus,
          {"function", {}, "3 or 4", "read the registers with function 03 or 04", "3", ValueKind::Choice, {"3", "4"}},
          kVerifySeconds,
          {"frames", "N", "a number of frames", "stop listening after N frames"},
          {"write", "REG=VALUE,...", "a list such as 100=0x1234,101=7",
           "write these registers and check the transmit frames they feed"},
          kFrameWait,
          {"strict", {}, {}, "registers no frame fed fail the run"},
          kTimeout, kSerial, kAddress, kIndexBase},
         "Check a gateway on the bench: listen to the CAN bus for N seconds (default\n" +
             kVerifySeconds.defaultValue +
             "; --frames N stops after N frames) and work out what each receive register\n"
             "should hold, then read those registers from the device with function 03\n"
             "(default) or 04 and compare: one line per register (OK, MISMATCH, ERROR, or\n"
             "NOT FED when no frame fed it) and a summary. With --write, write the\n"
             "registers (06 for one, 16 for consecutive ones) and check that the transmit\n"
             "frames they feed appear with the expected bytes within --frame-wait MS\n"
             "(default " +
             kFrameWait.defaultValue +
             "). Exit status 1 on any mismatch, Modbus error or missing frame,\n"
             "and when nothing could be compared; NOT FED registers are not checked and\n"
             "do not fail the run unless --strict.\n",
         true},
        {"simulate", VESTREL_BENCH_RUN(SimulateCommand),
         {"SOURCE"},
         {ValueKind::Path},
         {kCan, kModbus, {"seconds", "N", "a number of seconds", "stop after N seconds instead of running until interrupted"},
          kSerial, kAddress, kIndexBase},
         "A simulated gateway for bench tests and PLC work: a Modbus RTU slave on\n"
         "PORT serving the project's register mapping (the same registers to 03 and\n"
         "04), fed by the frames of the CAN interface; a register write sends the\n"
         "transmit frames it feeds. It models the mapping only and is not the device.\n"
         "Prints each change; runs until interrupted (Ctrl+C, SIGTERM) or N seconds.\n",
         true},
    };
}

// Traffic for a bench bus: only in builds with the bench tools.
std::vector<CommandSpec> TrafficCommands() {
    return {
        {"send", VESTREL_BENCH_RUN(SendCommand),
         {"ID#DATA..."},
         {ValueKind::Text},
         {kCan,
          {"every", "MS", "milliseconds", "send the frames again every MS milliseconds"},
          {"count", "N", "a number of periods", "with --every: stop after N periods instead of running until interrupted"},
          {"bitrate", "B", "a bit rate in bit/s such as 250000", "the CAN bit rate to ask of the plugin"}},
         "Send CAN frames given as ID#DATA (as preview takes them), in order. With\n"
         "--every, a periodic sender: every MS milliseconds all the frames again, on a\n"
         "fixed schedule that does not drift, N periods (--count) or until interrupted\n"
         "(Ctrl+C, SIGTERM). Prints the frames sent and how far behind schedule the\n"
         "sending fell at most.\n",
         true},
        {"play", VESTREL_BENCH_RUN(PlayCommand),
         {"LOG"},
         {ValueKind::File},
         {kCan,
          {"speed", "F", "a speed such as 2 or 0.5", "play F times as fast as logged; 0: as fast as the bus takes", "1"},
          {"loop", {}, {}, "play the log from the start again at its end, until interrupted"},
          {"only", "FILTERS", "filters such as 181:7FF,200~700",
           "send only the frames the filters take (ID:MASK takes, ID~MASK takes all but)"},
          {"channel", "C", "a channel such as can0 or 1", "send only the frames of this channel as the log names it"}},
         "Put the frames of a CAN log (any format replay reads) on the bus with the\n"
         "log's own timing: --speed 2 twice as fast, --speed 0 as fast as the bus\n"
         "takes; --loop again from the start at the end. --only takes candump's\n"
         "filters: ID:MASK passes a frame when its id AND MASK equals ID AND MASK,\n"
         "ID~MASK when it does not (3 hex digits for a standard id, 8 for an extended\n"
         "one); --channel one channel of the log. Error frames are not sent. Prints\n"
         "the frames sent and how far behind schedule it fell.\n",
         true},
        {"stimulate", VESTREL_BENCH_RUN(StimulateCommand),
         {"PROJECT_DIR"},
         {ValueKind::Folder},
         {kCan,
          {"every", "MS", "milliseconds", "send every receive frame every MS milliseconds", "100"},
          {"hold", "N", "a number of periods",
           "keep each value for N periods (default: as many as make 3 s, long enough for verify)"},
          {"pattern", {}, "count, ramp or random", "how the values change", "count", ValueKind::Choice,
           {"count", "ramp", "random"}},
          {"seed", "S", "a whole number", "what --pattern random starts its draws from", "1"}},
         "Traffic for a gateway on the bench: every receive frame of the project\n"
         "with its Dimensin of data bytes, every MS milliseconds, with values that\n"
         "change every N periods. count counts each register up by one, ramp walks\n"
         "each register's range (an imported signal's minimum..maximum) in 16 steps,\n"
         "random draws values reproducibly from --seed S. The default hold is long\n"
         "enough for verify to read each register twice before it changes. Prints\n"
         "each new set of frames; runs until interrupted (Ctrl+C, SIGTERM).\n",
         true},
    };
}

// The commands in the order --help lists them.
std::vector<CommandSpec> MakeCommands() {
    std::vector<CommandSpec> commands;
    for (auto group : {CompileCommands, GatewayCommands, SignalCommands, WorkspaceCommands, BenchCommands,
                        TrafficCommands}) {
        std::vector<CommandSpec> more = group();
        commands.insert(commands.end(), more.begin(), more.end());
    }
    return commands;
}

std::vector<SectionSpec> MakeSections() {
    return {
        {"SOURCE",
         "SOURCE is a project folder, a folder with bank1.bin and bank2.bin, or an\n"
         "S-record image.\n",
         "report"},
        {"BENCH OPTIONS",
         "Bench options: --serial RATE,8E1 and --address N replace the project's serial\n"
         "settings and device address; --timeout MS is the Modbus time-out (verify,\n"
         "default " +
             kTimeout.defaultValue +
             "). --index-base says how a register number of the project (its\n"
             "Index) becomes the protocol address of a request: " +
             kIndexBase.defaultValue +
             " (the default) takes the\n"
             "Index as the protocol address, as the gateway's firmware reads it from the\n"
             "banks; 1 takes it as a 1-based register number (protocol address = Index - 1).\n",
         "simulate", true},
        {"CAN INTERFACES",
         "PLUGIN:IFACE names a Qt SerialBus CAN plugin and its interface: socketcan:can0,\n"
         "virtualcan:can0 or virtualcan:tcp://127.0.0.1:PORT/can0. The project's CAN bit\n"
         "rate is asked of the plugin.\n",
         "simulate", true},
        {"RUNS AND OUTPUTS",
         "Runs that write into the same folders take turns: a second one waits for the\n"
         "first, or with --no-wait stops at once with a message. \"--\" ends the options.\n"
         "No output may be one of the run's inputs (by any path, hard links included);\n"
         "an output that is a symbolic link is written where the link leads. A project\n"
         "folder must hold at least one of the five project files.\n",
         {}},
        {"EXIT STATUS",
         "Exit status: 0 when everything asked for was done; 1 when it was not (the reason\n"
         "is printed on stderr); 2 for a command line that was not understood. diff\n"
         "exits as diff(1) does instead: 0 when the two sides configure the same, 1 when\n"
         "they differ, 2 when they could not be compared.\n",
         {}},
        {"ENVIRONMENT",
         "SOURCE_DATE_EPOCH, when set, gives the compile stamp instead of the clock.\n"
         "XDG_DATA_HOME and HOME place the per-user workspace (see FILES).\n",
         {}, false, true},
        {"FILES", kWorkspaceRulesText, {}},
    };
}

// Breaks a synopsis into lines of at most `width` columns; the lines after
// the first are indented by `indent`.
std::string Wrap(const std::string& first, const std::vector<std::string>& words, std::size_t width,
                 const std::string& indent) {
    std::string text = first, line = first;
    for (const std::string& word : words) {
        if (line.size() + 1 + word.size() > width) {
            text += "\n" + indent + word;
            line = indent + word;
        } else {
            text += " " + word;
            line += " " + word;
        }
    }
    return text + "\n";
}

std::vector<std::string> SynopsisWords(const CommandSpec& command, bool writeOutGroups) {
    std::vector<std::string> words;
    auto split = [&](const std::string& text) {
        std::istringstream in(text);
        for (std::string word; in >> word;) words.push_back(word);
    };
    for (std::size_t i = 0; i < command.forms.size(); ++i) split((i > 0 ? "| " + command.name + " " : "") + command.forms[i]);
    bool grouped = false;
    for (const OptionSpec& option : command.options) {
        if (option.shown == OptionPlace::InForm) continue;
        if (option.shown == OptionPlace::Grouped && !writeOutGroups) {
            grouped = true;
            continue;
        }
        const std::string text = option.Synopsis();
        words.push_back(option.shown == OptionPlace::Required ? text : "[" + text + "]");
    }
    if (grouped) words.push_back("[bench options]");
    return words;
}

std::string Indented(const std::string& text, const std::string& indent) {
    std::string out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out += indent + line + "\n";
    return out;
}

}  // namespace

std::string OptionSpec::Synopsis() const {
    std::string text = "--" + name;
    if (!choices.empty()) {
        text += ' ';
        for (std::size_t i = 0; i < choices.size(); ++i) text += (i > 0 ? "|" : "") + choices[i];
    } else if (!value.empty()) {
        text += " " + value;
    }
    return text;
}

const OptionSpec* CommandSpec::Find(const std::string& option) const {
    for (const OptionSpec& o : options)
        if (o.name == option) return &o;
    return nullptr;
}

std::string CommandSpec::Synopsis() const {
    std::string text = name;
    for (const std::string& word : SynopsisWords(*this, false)) text += " " + word;
    return text;
}

std::string CommandSpec::UsageForm() const {
    std::string text = name;
    for (const std::string& word : SynopsisWords(*this, true)) text += " " + word;
    return text;
}

const std::vector<CommandSpec>& CliCommands() {
    static const std::vector<CommandSpec> commands = MakeCommands();
    return commands;
}

const std::vector<SectionSpec>& CliSections() {
    static const std::vector<SectionSpec> sections = MakeSections();
    return sections;
}

const ApplicationSpec& DesktopApplication() {
    static const ApplicationSpec application{
        "vestrel",
        "configure a CAN to Modbus RTU gateway",
        "The desktop application of Firmware Vestrel. It edits a gateway's project (the\n"
        "frames it receives and transmits, their registers and the serial settings),\n"
        "checks and compiles it into the configuration banks, merges them into the\n"
        "device's S-record image and updates the device through the flasher. Its\n"
        "bench window checks a gateway on real buses.\n"
        "Everything it does without a window is also done by vestrel-cli(1).\n"
        "Without a display (DISPLAY and WAYLAND_DISPLAY unset) it says so and points\n"
        "to vestrel-cli.\n",
        kWorkspaceRulesText};
    return application;
}

const CommandSpec* FindCliCommand(const std::string& name) {
    for (const CommandSpec& command : CliCommands())
        if (command.name == name) return &command;
    return nullptr;
}

const CommandSpec& CliCommand(const std::string& name) {
    if (const CommandSpec* command = FindCliCommand(name)) return *command;
    throw std::logic_error("vestrel-cli has no command '" + name + "'");
}

namespace {

// A command's synopsis and description, as --help shows them.
std::string CommandBlock(const CommandSpec& command) {
    // Synopses longer than this are broken, the rest indented below the name.
    constexpr std::size_t kSynopsisWidth = 88;
    return Wrap("  vestrel-cli " + command.name, SynopsisWords(command, false), kSynopsisWidth, std::string(10, ' ')) +
           Indented(command.description, std::string(6, ' '));
}

}  // namespace

std::string CommandUsage(const CommandSpec& command) {
    std::string text = "Usage:\n" + CommandBlock(command);
    // The bench commands share their options' texts, which follow the last of them.
    for (const SectionSpec& section : CliSections())
        if (section.after == command.name || (command.bench && section.bench)) text += Indented(section.text, "  ");
    return text + "Sources, runs and outputs, and the exit status: vestrel-cli --help\n";
}

std::string CliUsage(bool withBench) {
    std::string text = "Usage:\n";
    for (const CommandSpec& command : CliCommands()) {
        if (command.bench && !withBench) continue;
        text += CommandBlock(command);
        for (const SectionSpec& section : CliSections())
            if (section.after == command.name) text += Indented(section.text, "  ");
    }
    text += "  vestrel-cli --help | --version | COMMAND --help\n";
    for (const SectionSpec& section : CliSections()) {
        if (!section.after.empty() || (section.bench && !withBench)) continue;
        if (!section.continues) text += "\n";
        text += section.text;
    }
    return text;
}

}  // namespace vestrel
