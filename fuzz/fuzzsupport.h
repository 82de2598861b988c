// fuzzsupport.h: what the fuzz targets share. A fresh simulated machine and
// host for every input, a small fixed volume to search and restore from, the
// run of glim as the host makes it, the checks that every run must pass, the
// screening of names that the simulation does not model, and a model of the
// two screen formats, written apart from the plugin's own readers, against
// which the plugin's results are held.
#pragma once

#include "winsim/sim.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fuzz {

// Stops the fuzzer with `what` when `condition` fails: a finding.
void Require(bool condition, const char *what);

// The machine of sim::Reset and a fresh host, with an empty last-name store
// and _lastglim registered, as at the start of every test.
void FreshMachine();
// The same at the end of an input: what the input made is released, so
// that each input frees as much as it allocates and the fuzzer's leak
// check runs only where something was really lost.
void SettleMachine();

// The small volume of the search and command fuzzers, made on the fresh
// machine, with C:\work as the current directory:
//   C:\work\a.glim           a real saved screen
//   C:\work\b.sav, c.SAV     SAVECON files (cells at 22, and at 832)
//   C:\work\notes.txt        text; short.glim (10 bytes); locked.glim
//                            (unreadable); gone.glim (cannot be opened)
//   C:\work\sub\d.glim, sub\deeper\e.glim, sub\loop -> C:\work (a cycle),
//   sub\dir.glim (a directory), and in sub the name that a save made there
//   at the simulated clock's time would take
//   C:\work\hidden\h.glim (hidden directory), C:\work\system\s.glim
//   (system directory), C:\work\semi;colon\x.glim, C:\work\jump -> C:\work\sub
//   C:\other\f.glim, D:\g.glim
void MakeVolume();

// The bytes of a screen saved by the plugin itself: the default console
// with a few lines of text in a few colours. Made once, on first use.
const std::vector<uint8_t> &SavedScreenBytes();

// Runs glim with `tail` in a writable copy, as the host passes it, after
// clearing the captured output. Returns glim's result.
int RunGlim(const std::u16string &tail);

// The checks after every run: the result is 0, 1 or 2; a result of 1 or 2
// came with a message on standard error; no handle is open; no allocation
// is live but the last-name store. Clears the captured output. With the
// environment variable GLIM_FUZZ_SHOW set, the result and the output are
// shown on the fuzzer's standard error first (for looking at one input).
void CheckAfterRun(int result);

// False when the command tail holds an argument that the simulated machine
// cannot answer (it stops the program for them rather than guess): a path
// beginning with \\. or \\? (or their slash forms) that is not followed by a
// drive's root (or, for \\?, by UNC). Device names and prefixed drive paths
// are answered. Splits the tail with the plugin's own tokenizer, which glim
// then repeats.
bool InsideSimulation(const std::u16string &tail);

// Every entry of drives C: and D:, by full path with the letters A to Z
// folded: a directory's path ends in "\\" and maps to nothing, a file's maps
// to its bytes. Links are listed but not followed.
typedef std::map<std::u16string, std::vector<uint8_t>> VolumeSnapshot;
VolumeSnapshot TakeVolume();

// ---- The model of the formats.

// The kind of an 80-byte header: 0 neither, 1 Glimpset, 2 SAVECON.
int ModelClassify(const uint8_t *header);

// What reading a whole file gives: the kind, whether the cells could be
// read, and the screen.
struct ModelScreen {
    int kind = 0;          // 0 also for a file shorter than 80 bytes
    bool readable = false; // the header is sound and the cells were all read
    bool crcMatches = false;
    int version = 0, columns = 0, rows = 0, cursorColumn = 0, cursorRow = 0;
    int attribute = 0; // Glimpset: the low byte; SAVECON: all 16 bits
    std::vector<uint16_t> characters, attributes;
};
ModelScreen ModelRead(const std::vector<uint8_t> &file);

// Little-endian helpers over a byte vector.
void PutWord(std::vector<uint8_t> &bytes, size_t at, uint16_t value);
uint16_t WordAt(const std::vector<uint8_t> &bytes, size_t at);

} // namespace fuzz
