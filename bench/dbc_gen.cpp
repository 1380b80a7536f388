#include "dbc_gen.h"

#include <fstream>
#include <stdexcept>
#include <string>

namespace vestrel::bench {

namespace {

struct Layout {
    int start, length;
    const char* scaling;  // "(factor,offset) [min|max] \"unit\""
};

// Ten signals over 64 bits, as a J1939 parameter group packs them.
constexpr Layout kLayout[] = {
    {0, 16, "(0.125,0) [0|8031.875] \"rpm\""},   {16, 16, "(0.00390625,0) [0|250.996] \"km/h\""},
    {32, 8, "(1,-40) [-40|210] \"\xB0" "C\""}, {40, 8, "(0.4,0) [0|100] \"%\""},
    {48, 2, "(1,0) [0|3] \"\""},                 {50, 2, "(1,0) [0|3] \"\""},
    {52, 2, "(1,0) [0|3] \"\""},                 {54, 2, "(1,0) [0|3] \"\""},
    {56, 4, "(1,0) [0|15] \"\""},                {60, 4, "(0.5,-2) [-2|5.5] \"bar\""},
};

}  // namespace

void WriteJ1939LikeDbc(const std::filesystem::path& file, int messages) {
    std::string text = "VERSION \"\"\n\nNS_ :\n\tCM_\n\tBA_DEF_\n\tBA_\n\tVAL_\n\nBS_:\n\nBU_: Engine Cab Body\n\n";
    std::string tail = "BA_DEF_ BO_ \"GenMsgCycleTime\" INT 0 65535;\nBA_DEF_DEF_ \"GenMsgCycleTime\" 0;\n";
    for (int m = 0; m < messages; ++m) {
        const unsigned id = 0x80000000u | 0x18000000u | static_cast<unsigned>(m) << 8 | 0x00u;
        const std::string name = "PGN_" + std::to_string(m);
        const bool motorola = m % 5 == 4;
        text += "BO_ " + std::to_string(id) + " " + name + ": 8 Engine\n";
        for (int s = 0; s < 10; ++s) {
            const Layout& l = kLayout[s];
            // A Motorola signal of the same bits starts at its most significant bit.
            int start = l.start;
            if (motorola && l.length >= 8) start = l.start + 7;
            text += " SG_ " + name + "_S" + std::to_string(s) + " : " + std::to_string(start) + "|" +
                    std::to_string(l.length) + (motorola && l.length >= 8 ? "@0+ " : "@1+ ") + l.scaling +
                    " Cab,Body\n";
            if (l.length == 2)
                tail += "VAL_ " + std::to_string(id) + " " + name + "_S" + std::to_string(s) +
                        " 3 \"not available\" 2 \"error\" 1 \"on\" 0 \"off\" ;\n";
        }
        text += "\n";
        tail += "CM_ BO_ " + std::to_string(id) + " \"Parameter group " + std::to_string(m) + ".\";\n";
        tail += "BA_ \"GenMsgCycleTime\" BO_ " + std::to_string(id) + " " + std::to_string(m % 3 ? 100 : 1000) +
                ";\n";
    }
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text << tail;
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace vestrel::bench
