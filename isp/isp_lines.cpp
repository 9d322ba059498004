#include "isp/isp_lines.h"

#include <algorithm>

namespace korvan {

void IspLines::Exchange(std::span<const IspInstruction> instructions, std::span<std::uint8_t> answers) {
    constexpr std::size_t kAnswerByte = 3;
    for (std::size_t index = 0; index < instructions.size() && index < answers.size(); ++index) {
        std::copy(instructions[index].begin(), instructions[index].end(), transmitBuffer().begin());
        Transfer(static_cast<int>(instructions[index].size()));
        answers[index] = receiveBuffer()[kAnswerByte];
    }
}

}  // namespace korvan
