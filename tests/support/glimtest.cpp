// glimtest.cpp: the shared helpers of the Linux suites.
#include "tests/support/glimtest.h"

#include "host/hoststate.h"
#include "plugin/exports.h"
#include "plugin/lastname.h"

#include <vector>

namespace glimtest {

void ResetAll() {
    // The store is freed while winsim still knows its block.
    sim::ClearFailures();
    FreeLastName();
    sim::Reset();
    HostResetState();
    HostRegisterVariable(TEXT("_lastglim"), _lastglim);
}

Outcome Glim(const std::u16string &tail) {
    std::vector<WCHAR> buffer(tail.begin(), tail.end());
    buffer.push_back(0);
    sim::ClearOutput();
    Outcome run;
    run.result = glim(buffer.data());
    run.out = sim::Stdout();
    run.err = sim::Stderr();
    return run;
}

Outcome Glim(const std::string &tail) {
    return Glim(sim::U16(tail));
}

Outcome GlimWithoutTail() {
    sim::ClearOutput();
    Outcome run;
    run.result = glim(nullptr);
    run.out = sim::Stdout();
    run.err = sim::Stderr();
    return run;
}

std::string LastGlim() {
    std::vector<WCHAR> buffer(16384, 0);
    if (_lastglim(buffer.data()) != 0) {
        return "(no value)";
    }
    return sim::U8(buffer.data());
}

void SetBatch(const std::string &fullName, int line) {
    std::u16string name = sim::U16(fullName);
    HostSetBatch(name.c_str(), line);
}

void ClearBatch() {
    HostClearBatch();
}

std::string Prefix() {
    std::string prefix = "Glimpset plugin: ";
    const HostStateRecord *state = HostState();
    if (state->batchActive) {
        prefix += sim::U8(state->batchName) + " [" + std::to_string(state->batchLine) + "]  ";
    }
    return prefix;
}

long LiveAllocationsBesidesLastName() {
    return sim::LiveAllocations() - (LastName != nullptr ? 1 : 0);
}

void GlimTest::SetUp() {
    ResetAll();
}

void GlimTest::TearDown() {
    if (checkReleased) {
        EXPECT_EQ(sim::OpenHandles(), 0) << "handles left open";
        EXPECT_EQ(LiveAllocationsBesidesLastName(), 0) << "allocations left behind";
    }
}

} // namespace glimtest
