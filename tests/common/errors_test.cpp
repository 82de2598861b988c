// The prefix of error messages, the system's error texts and the three
// forms of messages.
#include "common/errors.h"
#include "tests/support/glimtest.h"

#include <algorithm>
#include <string>

namespace {

using glimtest::GlimTest;
using ErrorsTest = GlimTest;

std::string ErrorText(DWORD code) {
    WCHAR buffer[1024];
    for (WCHAR &ch : buffer) {
        ch = u'#';
    }
    EXPECT_EQ(GetErrorText(code, buffer), 0);
    return sim::U8(buffer);
}

TEST_F(ErrorsTest, PrefixAtThePromptIsTheNameAlone) {
    EXPECT_EQ(ReportErrorPrefix(), 0);
    EXPECT_EQ(sim::Stderr(), "Glimpset plugin: ");
    EXPECT_EQ(sim::Stdout(), "");
}

TEST_F(ErrorsTest, PrefixInsideABatchFileNamesItsFileAndLine) {
    glimtest::SetBatch("C:\\scripts\\nightly.btm", 12);
    ReportErrorPrefix();
    EXPECT_EQ(sim::Stderr(), "Glimpset plugin: C:\\scripts\\nightly.btm [12]  ");
}

TEST_F(ErrorsTest, PercentInABatchFileNameIsWrittenAsItIs) {
    glimtest::SetBatch("C:\\100%s\\x%d %%.btm", 3);
    ReportErrorPrefix();
    EXPECT_EQ(sim::Stderr(), "Glimpset plugin: C:\\100%s\\x%d %%.btm [3]  ");
}

TEST_F(ErrorsTest, PrefixAfterTheBatchFileEndsIsTheNameAlone) {
    glimtest::SetBatch("C:\\a.btm", 1);
    glimtest::ClearBatch();
    ReportErrorPrefix();
    EXPECT_EQ(sim::Stderr(), "Glimpset plugin: ");
}

TEST_F(ErrorsTest, PlainFormIsPrefixAndMessage) {
    ReportPlain(TEXT("Bad filename:  \"%s\"\r\n"), TEXT("X:\\?"));
    EXPECT_EQ(sim::Stderr(), "Glimpset plugin: Bad filename:  \"X:\\?\"\r\n");
}

TEST_F(ErrorsTest, PlainFormWithoutTextShowsNothingForIt) {
    ReportPlain(TEXT("Missing filename\r\n"), nullptr);
    ReportPlain(TEXT("<%s>\r\n"), nullptr);
    EXPECT_EQ(sim::Stderr(), "Glimpset plugin: Missing filename\r\nGlimpset plugin: <>\r\n");
}

TEST_F(ErrorsTest, PlainFormWithANumber) {
    ReportPlainNumber(TEXT("Unknown suboption:  /N:%c\r\n"), 'Q');
    ReportPlainNumber(TEXT("Unsupported Glimpset file version:  %u\r\n"), 4000000000u);
    EXPECT_EQ(sim::Stderr(), "Glimpset plugin: Unknown suboption:  /N:Q\r\n"
                             "Glimpset plugin: Unsupported Glimpset file version:  4000000000\r\n");
}

TEST_F(ErrorsTest, PlainFormInsideABatchFile) {
    glimtest::SetBatch("D:\\b.cmd", 40);
    ReportPlain(TEXT("CRC32 mismatch\r\n"), nullptr);
    EXPECT_EQ(sim::Stderr(), "Glimpset plugin: D:\\b.cmd [40]  CRC32 mismatch\r\n");
}

TEST_F(ErrorsTest, BareFormIsTheMessageAlone) {
    glimtest::SetBatch("D:\\b.cmd", 40);
    ReportBare(TEXT("Syntax error:  \"%s\"\r\n"), TEXT("TWO"));
    EXPECT_EQ(sim::Stderr(), "Syntax error:  \"TWO\"\r\n");
}

TEST_F(ErrorsTest, SystemFormAddsTheErrorTextOnASecondLine) {
    std::string text = ErrorText(ERROR_ACCESS_DENIED);
    sim::ClearOutput();
    SetLastError(ERROR_ACCESS_DENIED);
    ReportSystem(TEXT("Error opening \"%s\":\r\n"), TEXT("C:\\x.glim"));
    EXPECT_EQ(sim::Stderr(),
              "Glimpset plugin: Error opening \"C:\\x.glim\":\r\n    " + text + "\r\n");
}

TEST_F(ErrorsTest, SystemFormTakesTheCodeBeforeWritingAnything) {
    // Expanding the prefix inside a batch file reads variables, which can
    // change the thread's last error; the text must be that of the code
    // the caller failed with.
    glimtest::SetBatch("C:\\x.btm", 2);
    std::string text = ErrorText(ERROR_SHARING_VIOLATION);
    sim::ClearOutput();
    sim::CallLog().clear();
    SetLastError(ERROR_SHARING_VIOLATION);
    ReportSystem(TEXT("Error opening console:\r\n"), nullptr);
    EXPECT_EQ(sim::Stderr(),
              "Glimpset plugin: C:\\x.btm [2]  Error opening console:\r\n    " + text + "\r\n");
    const std::vector<std::string> &log = sim::CallLog();
    auto format = std::find(log.begin(), log.end(), "FormatMessageW");
    auto firstWrite = std::find_if(log.begin(), log.end(), [](const std::string &name) {
        return name == "WriteFile" || name == "WriteConsoleW";
    });
    ASSERT_NE(format, log.end());
    EXPECT_LT(format - log.begin(), firstWrite - log.begin());
}

TEST_F(ErrorsTest, SystemFormWithAGivenCode) {
    sim::FailAlways("FormatMessageW", ERROR_MR_MID_NOT_FOUND);
    ReportSystemCode(0xE0000001, TEXT("Error reading \"%s\":\r\n"), TEXT("f"));
    EXPECT_EQ(sim::Stderr(), "Glimpset plugin: Error reading \"f\":\r\n    Error -536870911\r\n");
}

TEST_F(ErrorsTest, SystemFormWithNoCodeSaysUnknownError) {
    ReportSystemCode(0xFFFFFFFF, TEXT("Error reading \"%s\":\r\n"), TEXT("f"));
    EXPECT_EQ(sim::Stderr(), "Glimpset plugin: Error reading \"f\":\r\n    Unknown error\r\n");
}

TEST_F(ErrorsTest, ErrorTextOfAKnownCodeHasNoTrailingWhiteSpace) {
    for (DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_DISK_FULL}) {
        std::string text = ErrorText(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_NE(text.rfind("Error ", 0), 0u) << code << ": " << text;
        EXPECT_FALSE(isspace((unsigned char)text.back())) << code << ": [" << text << "]";
    }
}

TEST_F(ErrorsTest, ErrorTextOfFileNotFound) {
    EXPECT_EQ(ErrorText(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified.");
}

struct NumberedCase {
    DWORD code;
    const char *text;
};

TEST_F(ErrorsTest, ErrorTextWithoutSystemTextIsTheSignedNumber) {
    const NumberedCase cases[] = {
        {0xE0000001, "Error -536870911"}, {0x80000000, "Error -2147483648"},
        {0x7FFFFFFF, "Error 2147483647"}, {0xFFFFFFFE, "Error -2"},
        {12345, "Error 12345"},
    };
    for (const NumberedCase &c : cases) {
        sim::FailCall("FormatMessageW", 1, ERROR_MR_MID_NOT_FOUND);
        EXPECT_EQ(ErrorText(c.code), c.text);
    }
}

TEST_F(ErrorsTest, ErrorTextOfNoCodeIsUnknownErrorWithoutAskingTheSystem) {
    EXPECT_EQ(ErrorText(0xFFFFFFFF), "Unknown error");
    EXPECT_EQ(sim::CallCount("FormatMessageW"), 0);
}

TEST_F(ErrorsTest, ErrorTextWithoutABufferWritesNothing) {
    EXPECT_EQ(GetErrorText(ERROR_FILE_NOT_FOUND, nullptr), -1);
    EXPECT_EQ(sim::CallCount("FormatMessageW"), 0);
}

} // namespace
