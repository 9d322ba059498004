#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "isp/hardware_port.h"
#include "isp/isp_lines.h"
#include "isp/parallel_port.h"
#include "isp/pin_map.h"
#include "isp/register_access.h"

namespace korvan {

// The parallel-port ISP cables (programmer types 1 to 3): the lines through the cable's pin
// map on the port at kParallelPortBase. At the Normal and Fast download speeds every line
// change also pulses or opens the Ferrow cable's latch; the output buffer is on only while a
// chip operation runs.
class ParallelPortLines final : public IspLineDriver {
public:
    // `access` null = Open looks for the real port, where `search` says.
    explicit ParallelPortLines(std::unique_ptr<RegisterAccess> access = nullptr, PortSearch search = {});

    // The map of the manager's programmer type (FerrowIsp.ini for the Ferrow cable), and the
    // manager's download speed.
    std::string LoadWiring(ProgrammerManager& manager) override;
    std::string Open() override;
    void Close() override;
    const char* openFailureBox() const override { return "Initialize I/O Port Failed!"; }
    void LogTransfersTo(std::shared_ptr<std::ostream> log) override;
    // The latch passes the lines; the output buffer is switched on only for a run.
    void Rest() override;
    void BeginRun() override;
    void EndRun() override;

    void SetMosi(int level) override;
    void SetReset(int level) override;
    void SetSck(int level) override;
    int ReadMiso() override;
    void Transfer(int count) override;
    IspBuffer& transmitBuffer() override { return transmit_; }
    const IspBuffer& receiveBuffer() const override { return receive_; }

    const PinMap& pinMap() const { return pinMap_; }
    ParallelPort& port() { return port_; }

private:
    void LatchLines();

    ParallelPort port_;
    PortSearch search_;
    PinMap pinMap_;
    int downloadSpeed_ = 0;
    IspBuffer transmit_{};
    IspBuffer receive_{};
};

}  // namespace korvan
