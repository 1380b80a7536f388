#pragma once

#include "compiler/project_builder.h"
#include "can/can_frame.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vestrel::gateway::test {

using namespace vestrel::test;

// A receive or transmit frame row: COB-ID text, Dimensin, mnemonic (and RTR).
struct FrameLine {
    std::string cobId;
    int length;
    std::string mnemonic = "";
    std::string rtr = "N";
};

// A mapping row: register, frame position, PosComp.
struct MappingLine {
    int reg;
    int frame;
    int posComp;
};

inline void WriteProject(const std::filesystem::path& dir, const std::string& canType,
                         const std::vector<FrameLine>& receive, const std::vector<MappingLine>& receiveMappings,
                         const std::vector<FrameLine>& transmit = {},
                         const std::vector<MappingLine>& transmitMappings = {}) {
    WritePargen(dir, With(DefaultSettings(), "CANType", canType));
    auto frames = [](const std::vector<FrameLine>& lines, bool tx) {
        std::vector<std::string> rows;
        for (const FrameLine& f : lines)
            rows.push_back("CobID=\"" + f.cobId + "\" Dimensin=\"" + std::to_string(f.length) + "\"" +
                           (tx ? " RTR=\"" + f.rtr + "\"" : std::string()) + " Mnemonic=\"" + f.mnemonic + "\"");
        return rows;
    };
    auto mappings = [](const std::vector<MappingLine>& lines) {
        std::vector<std::string> rows;
        for (const MappingLine& m : lines)
            rows.push_back("Index=\"" + std::to_string(m.reg) + "\" NrPdo=\"" + std::to_string(m.frame) +
                           "\" PosComp=\"" + std::to_string(m.posComp) + "\"");
        return rows;
    };
    WriteRows(dir / "RCobDef.xml", "COBID", frames(receive, false));
    WriteRows(dir / "RInfoCob.xml", "RInfoCob", mappings(receiveMappings));
    WriteRows(dir / "TCobDef.xml", "COBID", frames(transmit, true));
    WriteRows(dir / "TInfoCob.xml", "TInfoCob", mappings(transmitMappings));
}

inline can::CanFrame Frame(const std::string& text) {
    const Result<can::CanFrame> frame = can::ParseCompactFrame(text);
    EXPECT_TRUE(frame) << text << ": " << frame.Why();
    return frame ? *frame : can::CanFrame{};
}

}  // namespace vestrel::gateway::test
