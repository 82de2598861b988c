// What glim hands to the operations: which one runs (the last of /R and /I
// decides), the option bits each of them sees, the Quiet setting, and the
// operation's result passed back unchanged. The bits are observed through
// what the operations do with them.
#include "common/errors.h"
#include "tests/support/glimtest.h"

#include <string>
#include <vector>

namespace {

using glimtest::Glim;
using glimtest::GlimTest;
using glimtest::Outcome;
using DispatchTest = GlimTest;

const std::u16string QuietKey = u"SOFTWARE\\RIRevazud\\Glimpset";

std::string ErrorTextOf(DWORD code) {
    WCHAR buffer[1024];
    GetErrorText(code, buffer);
    return sim::U8(buffer);
}

// The header's time fields, offsets 10 to 21: all zero when suppressed.
bool HasTimeStamp(const std::u16string &path) {
    std::vector<uint8_t> bytes = sim::FileBytes(path);
    if (bytes.size() < 80) {
        ADD_FAILURE() << "no header in " << sim::U8(path);
        return false;
    }
    for (int i = 10; i < 22; i++) {
        if (bytes[i] != 0) {
            return true;
        }
    }
    return false;
}

// A saved file whose stored checksum no longer matches its cells.
void MakeDamagedFile(const std::u16string &path) {
    ASSERT_EQ(Glim("/Q " + sim::U8(path)).result, 0);
    std::vector<uint8_t> bytes = sim::FileBytes(path);
    ASSERT_GE(bytes.size(), 80u);
    bytes[44] ^= 0xFF;
    sim::MakeFile(path, bytes);
}

TEST_F(DispatchTest, NoArgumentsSavesUnderAMadeUpNameInTheCurrentDirectory) {
    Outcome run = Glim("");
    EXPECT_EQ(run.result, 0) << run.err;
    std::vector<std::u16string> names = sim::ListDirectory(u"C:\\");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(glimtest::LastGlim(), "\"C:\\" + sim::U8(names[0]) + "\"");
    ASSERT_EQ(sim::Sounds().size(), 1u);
    EXPECT_EQ(sim::U8(sim::Sounds()[0].name), "CAMERA4");
    EXPECT_EQ(run.err, "");
}

TEST_F(DispatchTest, TheFirstFileNameIsResolvedForTheSave) {
    sim::MakeDirectory(u"C:\\shots");
    sim::SetCurrentDirectory(u"C:\\shots");
    EXPECT_EQ(Glim("/Q one.glim").result, 0);
    EXPECT_TRUE(sim::Exists(u"C:\\shots\\one.glim"));
    EXPECT_EQ(glimtest::LastGlim(), "\"C:\\shots\\one.glim\"");
}

struct OverwriteCase {
    std::string tail;
    int result;
};

TEST_F(DispatchTest, SlashOReplacesAnExistingFile) {
    const OverwriteCase cases[] = {
        {"/Q C:\\a.glim", 2},    {"/Q /O C:\\a.glim", 0},    {"/q/o C:\\a.glim", 0},
        {"C:\\a.glim /o /q", 0}, {"/O/N:T/Q C:\\a.glim", 0},
    };
    for (const OverwriteCase &c : cases) {
        sim::MakeFile(u"C:\\a.glim", std::string("old"));
        Outcome run = Glim(c.tail);
        EXPECT_EQ(run.result, c.result) << c.tail;
        if (c.result == 2) {
            EXPECT_EQ(run.err, "Glimpset plugin: Error opening \"C:\\a.glim\":\r\n    " +
                                   ErrorTextOf(ERROR_FILE_EXISTS) + "\r\n")
                << c.tail;
            EXPECT_EQ(sim::FileBytes(u"C:\\a.glim").size(), 3u) << c.tail;
        } else {
            EXPECT_GT(sim::FileBytes(u"C:\\a.glim").size(), 80u) << c.tail;
        }
    }
}

struct TimeCase {
    std::string options;
    bool timeStamp;
};

TEST_F(DispatchTest, NTLeavesTheTimeStampOut) {
    const TimeCase cases[] = {
        {"", true},           {"/N:T", false},     {"/n:t", false}, {"/N=T", false},
        {"/NT", false},       {"/n:xt", false},    {"/N:X", true},  {"/N:OSEDZJ", true},
        {"/N /N: /N=", true}, {"/N:S/N:T", false},
    };
    int n = 0;
    for (const TimeCase &c : cases) {
        std::string name = "C:\\t" + std::to_string(n++) + ".glim";
        Outcome run = Glim("/Q " + c.options + " " + name);
        ASSERT_EQ(run.result, 0) << c.options << run.err;
        EXPECT_EQ(HasTimeStamp(sim::U16(name)), c.timeStamp) << c.options;
    }
}

struct QuietCase {
    const char *behaviour;
    std::string tail;
    int setting; // the user's Quiet DWORD, or -1 for no key
    size_t sounds;
};

TEST_F(DispatchTest, SlashQAndTheQuietSettingSilenceTheSave) {
    const QuietCase cases[] = {
        {"plain save", "C:\\a.glim", -1, 1},    {"/Q", "/Q C:\\a.glim", -1, 0},
        {"/q glued", "/O/q C:\\a.glim", -1, 0}, {"setting on", "C:\\a.glim", 1, 0},
        {"setting off", "C:\\a.glim", 0, 1},    {"setting off and /Q", "/Q C:\\a.glim", 0, 0},
    };
    for (const QuietCase &c : cases) {
        glimtest::ResetAll();
        if (c.setting >= 0) {
            sim::RegSetDword(HKEY_CURRENT_USER, QuietKey, u"Quiet", (DWORD)c.setting);
        }
        EXPECT_EQ(Glim(c.tail).result, 0) << c.behaviour;
        EXPECT_EQ(sim::Sounds().size(), c.sounds) << c.behaviour;
    }
}

TEST_F(DispatchTest, TheQuietSettingSilencesTheRestore) {
    ASSERT_EQ(Glim("/Q C:\\a.glim").result, 0);
    sim::RegSetDword(HKEY_CURRENT_USER, QuietKey, u"Quiet", 1);
    sim::Sounds().clear();
    EXPECT_EQ(Glim("/R C:\\a.glim").result, 0);
    EXPECT_TRUE(sim::Sounds().empty());
    sim::RegSetDword(HKEY_CURRENT_USER, QuietKey, u"Quiet", 0);
    EXPECT_EQ(Glim("/R C:\\a.glim").result, 0);
    EXPECT_EQ(sim::Sounds().size(), 1u);
}

TEST_F(DispatchTest, RestoreWithoutANameIsTheRestoresUsageError) {
    Outcome run = Glim("/R");
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.err, "Glimpset plugin: Missing filename\r\n");
}

TEST_F(DispatchTest, RestoreGetsTheResolvedName) {
    Outcome run = Glim("/r missing.glim");
    EXPECT_EQ(run.result, 2);
    EXPECT_EQ(run.err, "Glimpset plugin: Error opening file \"C:\\missing.glim\":\r\n    " +
                           ErrorTextOf(ERROR_FILE_NOT_FOUND) + "\r\n");
}

struct CrcCase {
    std::string options;
    int result;
};

TEST_F(DispatchTest, NXSkipsTheChecksum) {
    MakeDamagedFile(u"C:\\d.glim");
    const CrcCase cases[] = {
        {"/R", 2}, {"/R /N:X", 0}, {"/n:x /r", 0}, {"/R /NX", 0}, {"/R /N:TX", 0}, {"/R /N:T", 2},
    };
    for (const CrcCase &c : cases) {
        Outcome run = Glim("/Q " + c.options + " C:\\d.glim");
        EXPECT_EQ(run.result, c.result) << c.options;
        EXPECT_EQ(run.err, c.result == 2 ? "Glimpset plugin: CRC32 mismatch\r\n" : "") << c.options;
    }
}

struct ModeCase {
    std::string tail;
    const char *operation; // "report", "restore" or "save"
};

TEST_F(DispatchTest, TheLastOfRAndIDecides) {
    sim::MakeFile(u"C:\\note.txt", std::string("just a note, long enough to hold a header of "
                                               "eighty bytes, and then some more text."));
    const std::string report = "\r\n\"C:\\note.txt\" is not a Glimpset file.\r\n";
    const std::string restore =
        "Glimpset plugin: File \"C:\\note.txt\" is not a Glimpset file.\r\n";
    const ModeCase cases[] = {
        {"/I C:\\note.txt", "report"},    {"/R C:\\note.txt", "restore"},
        {"/R /I C:\\note.txt", "report"}, {"/I /R C:\\note.txt", "restore"},
        {"/R C:\\note.txt /I", "report"}, {"/I/R/I/R C:\\note.txt", "restore"},
    };
    for (const ModeCase &c : cases) {
        Outcome run = Glim(c.tail);
        if (std::string(c.operation) == "report") {
            EXPECT_EQ(run.result, 0) << c.tail;
            EXPECT_EQ(run.out.substr(0, report.size()), report) << c.tail;
            EXPECT_EQ(run.err, "") << c.tail;
        } else {
            EXPECT_EQ(run.result, 2) << c.tail;
            EXPECT_EQ(run.out, "") << c.tail;
            EXPECT_EQ(run.err, restore) << c.tail;
        }
    }
}

struct SilenceCase {
    std::string tail;
    bool silent; // files of neither format are passed over
};

TEST_F(DispatchTest, ITwiceOrNOPassesOverUnknownFiles) {
    sim::MakeFile(u"C:\\note.txt", std::string(100, 'n'));
    const SilenceCase cases[] = {
        {"/I", false},      {"/I /I", true},    {"/I /R /I", false},
        {"/i/i", true},     {"/I /N:O", true},  {"/N:o /I", true},
        {"/I /Q /I", true}, {"/R /I /I", true}, {"/I /I /R /I", true},
    };
    for (const SilenceCase &c : cases) {
        Outcome run = Glim(c.tail + " C:\\note.txt");
        EXPECT_EQ(run.result, 0) << c.tail;
        EXPECT_EQ(run.out.find("is not a Glimpset file") == std::string::npos, c.silent)
            << c.tail << ": " << run.out;
        EXPECT_NE(run.out.find("Found 1 file in C:\\."), std::string::npos) << c.tail;
    }
}

TEST_F(DispatchTest, ReportTakesEveryFileNameWhereverIIs) {
    sim::MakeFile(u"C:\\a.txt", std::string(100, 'a'));
    sim::MakeFile(u"C:\\b.txt", std::string(100, 'b'));
    for (std::string tail :
         {"/I C:\\a.txt C:\\b.txt", "C:\\a.txt C:\\b.txt /I", "C:\\a.txt /I C:\\b.txt"}) {
        Outcome run = Glim(tail);
        EXPECT_EQ(run.result, 0) << tail;
        EXPECT_NE(run.out.find("\"C:\\a.txt\" is not"), std::string::npos) << tail;
        EXPECT_NE(run.out.find("\"C:\\b.txt\" is not"), std::string::npos) << tail;
        EXPECT_NE(run.out.find("Found 2 files total."), std::string::npos) << tail;
    }
}

struct ReportCase {
    const char *behaviour;
    std::string tail;
    bool found;   // the per-directory "Found" line of C:\empty
    bool missing; // the "No ... files found" error line
    bool total;   // the total line
};

TEST_F(DispatchTest, ReportOptionsReachTheSearch) {
    sim::MakeDirectory(u"C:\\empty");
    const ReportCase cases[] = {
        {"plain", "/I C:\\empty\\*.glim", false, true, false},
        {"/E", "/I /E C:\\empty\\*.glim", true, false, false},
        {"/N:E", "/I /N:E C:\\empty\\*.glim", true, false, false},
        {"/S", "/I /S C:\\empty\\*.glim", false, true, true},
        {"/S /E", "/I /S/E C:\\empty\\*.glim", true, false, true},
        {"/N:S", "/I /S /E /N:S C:\\empty\\*.glim", false, false, false},
    };
    for (const ReportCase &c : cases) {
        Outcome run = Glim(c.tail);
        EXPECT_EQ(run.result, 0) << c.behaviour;
        EXPECT_EQ(run.out.find("Found 0 files in C:\\empty\\.") != std::string::npos, c.found)
            << c.behaviour << ": " << run.out;
        EXPECT_EQ(run.err.find("No *.glim files found in C:\\empty\\") != std::string::npos,
                  c.missing)
            << c.behaviour << ": " << run.err;
        EXPECT_EQ(run.out.find("total.") != std::string::npos, c.total)
            << c.behaviour << ": " << run.out;
    }
}

struct SubdirectoryCase {
    std::string options;
    std::vector<const char *> searched; // subdirectories whose file is reported
};

TEST_F(DispatchTest, NDZJKeepSubdirectoriesOutOfTheSearch) {
    sim::MakeDirectory(u"C:\\top");
    sim::MakeDirectory(u"C:\\top\\plain");
    sim::MakeDirectory(u"C:\\top\\hidden", FILE_ATTRIBUTE_HIDDEN);
    sim::MakeDirectory(u"C:\\top\\system", FILE_ATTRIBUTE_SYSTEM);
    sim::MakeDirectory(u"C:\\elsewhere");
    sim::MakeLink(u"C:\\top\\link", u"C:\\elsewhere");
    for (const char16_t *dir :
         {u"C:\\top\\plain", u"C:\\top\\hidden", u"C:\\top\\system", u"C:\\elsewhere"}) {
        sim::MakeFile(std::u16string(dir) + u"\\f.txt", std::string(100, 'f'));
    }
    const SubdirectoryCase cases[] = {
        {"", {"plain", "hidden", "system", "link"}},
        {"/N:D", {"plain", "system", "link"}},
        {"/N:Z", {"plain", "hidden", "link"}},
        {"/N:J", {"plain", "hidden", "system"}},
        {"/n:dzj", {"plain"}},
    };
    for (const SubdirectoryCase &c : cases) {
        Outcome run = Glim("/I /S " + c.options + " C:\\top\\*.txt");
        EXPECT_EQ(run.result, 0) << c.options;
        for (const char *dir : {"plain", "hidden", "system", "link"}) {
            bool expected = false;
            for (const char *s : c.searched) {
                expected = expected || std::string(s) == dir;
            }
            std::string line = "\"C:\\top\\" + std::string(dir) + "\\f.txt\"";
            EXPECT_EQ(run.out.find(line) != std::string::npos, expected) << c.options << " " << dir;
        }
        EXPECT_NE(run.out.find("Found " + std::to_string(c.searched.size()) + " file"),
                  std::string::npos)
            << c.options << ": " << run.out;
    }
}

TEST_F(DispatchTest, TheOperationsResultIsPassedBackUnchanged) {
    sim::MakeFile(u"C:\\a.txt", std::string(100, 'a'));
    sim::MakeFile(u"C:\\bad.txt", std::string(100, 'b'));
    sim::SetUnreadable(u"C:\\bad.txt");
    // A further name that the host cannot resolve reaches the report,
    // which answers 1.
    EXPECT_EQ(Glim("/I C:\\a.txt bad<name").result, 1);
    // An unreadable file makes the report answer 2.
    EXPECT_EQ(Glim("/I C:\\bad.txt").result, 2);
    EXPECT_EQ(Glim("/I C:\\a.txt").result, 0);
}

TEST_F(DispatchTest, EveryCommandThatReachesAnOperationReadsTheSetting) {
    for (std::string tail : {"/Q C:\\x.glim", "/R", "/I"}) {
        sim::CallLog().clear();
        Glim(tail);
        EXPECT_GE(sim::CallCount("RegOpenKeyW"), 1) << tail;
    }
}

} // namespace
