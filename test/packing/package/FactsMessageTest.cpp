#include "DamagedFile.h"
#include "FactsMessage.h"

#include <gtest/gtest.h>

namespace {

RawPackageFacts sample() {
    RawPackageFacts facts;
    facts.properties = {{L"ProductCode", L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}"},
                        {L"ProductName", L"Gr\u00FC\u00DFe \"Demo\""}};
    facts.repeatedProperty = L"ProductCode";
    facts.revisionNumber = L"{0327D050-78D6-4159-B551-5FD3E63E90A1}";
    facts.wordCount = 2;
    facts.disks = {{1, L"#demo.cab"}, {-5, L""}};
    facts.files = {{L"readme.txt", 0, 1}, {L"CONFIG~1.INI|config.ini", 0x2000, 7}};
    facts.isSigned = true;
    facts.subject = L"Demo: \u00FCber";
    facts.comments = L"line one\nline two";
    facts.platformTemplate = L"x64;1033";
    return facts;
}

TEST(FactsMessageTest, EveryFactComesThrough) {
    const RawPackageFacts facts = decodeFacts(encodeFacts(sample()));
    const RawPackageFacts expected = sample();
    EXPECT_EQ(expected.properties, facts.properties);
    EXPECT_EQ(expected.repeatedProperty, facts.repeatedProperty);
    EXPECT_EQ(expected.revisionNumber, facts.revisionNumber);
    EXPECT_EQ(expected.wordCount, facts.wordCount);
    ASSERT_EQ(2u, facts.disks.size());
    EXPECT_EQ(-5, facts.disks[1].lastSequence);
    EXPECT_EQ(L"#demo.cab", facts.disks[0].cabinet);
    ASSERT_EQ(2u, facts.files.size());
    EXPECT_EQ(L"CONFIG~1.INI|config.ini", facts.files[1].fileName);
    EXPECT_EQ(0x2000, facts.files[1].attributes);
    EXPECT_EQ(7, facts.files[1].sequence);
    EXPECT_TRUE(facts.isSigned);
    EXPECT_EQ(expected.subject, facts.subject);
    EXPECT_EQ(expected.comments, facts.comments);
    EXPECT_EQ(expected.platformTemplate, facts.platformTemplate);
}

// What a reader that died half-way, or wrote nonsense, leaves: every cut
// and a count far beyond the bytes are refused, never read past.
TEST(FactsMessageTest, AnswersCutShortOrGarbledAreRefused) {
    const std::string whole = encodeFacts(sample());
    for (size_t size = 0; size < whole.size(); ++size) {
        EXPECT_THROW(decodeFacts(whole.substr(0, size)), std::runtime_error) << "cut at " << size;
    }
    std::string huge = whole;
    huge[0] = huge[1] = huge[2] = huge[3] = '\xFF';
    EXPECT_THROW(decodeFacts(huge), std::runtime_error);
    EXPECT_THROW(decodeFacts(whole + "x"), std::runtime_error);
}

// A package the reader found damaged is called no package; a reader that
// failed otherwise is not taken for a damaged package, and says how.
TEST(FactsMessageTest, AReadersFailureKeepsItsKind) {
    const auto failure = [](const std::function<std::string()>& answer) -> std::string {
        try {
            factsFromReader(answer, L"x.msi");
        } catch (const VkError<DamagedFileError>& e) {
            return std::string("damaged: ") + e.originalMessage();
        } catch (const VkErrorBase& e) {
            return e.originalMessage();
        }
        return "read";
    };
    EXPECT_EQ("damaged: x.msi is not a Windows Installer package (libmsi cannot open it)",
              failure([]() -> std::string { VK_THROW_DAMAGED("libmsi cannot open it"); }));
    EXPECT_EQ("x.msi cannot be read: the reader crashed (Segmentation fault)",
              failure([]() -> std::string { VK_THROW_MSG("the reader crashed (Segmentation fault)"); }));
    EXPECT_EQ("x.msi cannot be read: the reader's answer is garbled", failure([] { return std::string("?"); }));
    EXPECT_EQ("read", failure([] { return encodeFacts(sample()); }));
}

} // namespace
