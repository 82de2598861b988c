// glimtest.h: shared helpers of the Linux suites. A fixture that starts
// every test on a fresh simulated machine and a fresh host, and checks at
// the end that the plugin left no handle open and no allocation behind;
// and helpers that run the plugin's command and variable function as the
// host does and hand back what they printed, as UTF-8.
#pragma once

#include "winsim/sim.h"

#include <gtest/gtest.h>

#include <string>

namespace glimtest {

// What one command left behind.
struct Outcome {
    int result;
    std::string out; // standard output, UTF-8
    std::string err; // standard error, UTF-8
};

// The simulated machine (sim::Reset) and the host (no batch file, no
// variable functions, not transient, not in a pipe, not a tab window) start
// afresh, the last-name store is emptied, and _lastglim is registered with
// the host so that "%_lastglim" expands as in a real shell.
void ResetAll();

// Runs glim with the command tail (UTF-8, or UTF-16), copied into a
// writable buffer as the host passes it. The output captured before the call
// is cleared first.
Outcome Glim(const std::string &tail);
Outcome Glim(const std::u16string &tail);
// Runs glim with no tail at all.
Outcome GlimWithoutTail();

// The value of _lastglim, as UTF-8.
std::string LastGlim();

// A batch file runs (its full name and current line), or none does.
void SetBatch(const std::string &fullName, int line);
void ClearBatch();

// The prefix of a plain error message as the plugin writes it now: the
// plugin's name, and inside a batch file its name and line.
std::string Prefix();

// Allocations live now that do not belong to the last-name store.
long LiveAllocationsBesidesLastName();

// The base of the suites: SetUp calls ResetAll; TearDown expects no open
// handle and no live allocation besides the last-name store. A test that
// leaves something on purpose sets `checkReleased` to false.
class GlimTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    bool checkReleased = true;
};

} // namespace glimtest
