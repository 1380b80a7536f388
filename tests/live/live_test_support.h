#pragma once

#include "gateway/gateway_model.h"
#include "gateway/gateway_test_support.h"
#include "gateway/model_loading.h"

#include <string>

namespace vestrel::live::test {

using namespace vestrel::gateway::test;

// The demo project of the examples: receive 0x181 (registers 1-4), 0x281
// (10, 11, Dimensin 4), 0x381 (20); transmit 0x201 (100, 101) and 0x301 (110).
inline gateway::ProjectModel DemoModel() {
    return gateway::LoadProjectModel(VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo");
}

inline gateway::ProjectModel ModelOf(const std::string& canType, const std::vector<FrameLine>& receive,
                                     const std::vector<MappingLine>& receiveMappings,
                                     const std::vector<FrameLine>& transmit = {},
                                     const std::vector<MappingLine>& transmitMappings = {}) {
    TempDir dir;
    WriteProject(dir.path(), canType, receive, receiveMappings, transmit, transmitMappings);
    return gateway::LoadProjectModel(dir.path());
}

}  // namespace vestrel::live::test
