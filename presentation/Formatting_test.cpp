#include "presentation/Formatting.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <string_view>
#include <vector>

#include "assessment/AssessmentResult.h"
#include "assessment/testing/Fakes.h"

namespace tallyhive {
namespace {

class Formatting : public ::testing::Test {
protected:
    FakeTimeService m_time;
    CAssessmentResult m_record{m_time};
};

TEST(FormatByteSize, ThresholdsTruncationAndRounding) {
    struct Case {
        std::string_view in, want, why;
    };
    const Case cases[] = {
        {"", "", "empty stays empty"},
        {" 12", "12B", "leading white space is skipped"},
        {"   ", "0B", "white space only is not empty"},
        {"abc", "0B", "no number reads as 0"},
        {"-5", "-5B", "small negative counts print as bytes"},
        {"-5.9", "-5B", "bytes truncate toward zero, not down"},
        {"-0.5", "0B", "a negative fraction truncates to 0"},
        {"1e3", "1000B", "an exponent"},
        {"512.7", "512B", "bytes truncate"},
        {"1023.999", "1023B", "just under one KB"},
        {"1024", "1.0KB", "one KB"},
        {"1280", "1.3KB", "a half rounds up, not to even"},
        {"1177.6", "1.1KB", "1.15 KB is just below the half in binary: the exact value decides"},
        {"1075.2", "1.1KB", "1.05 KB is just above the half in binary"},
        {"102399", "100.0KB", "rounding happens only when printed"},
        {"102400", "100KB", "integer form from 100 KB"},
        {"1048575", "1023KB", "integer forms never round"},
        {"1048576", "1.0MB", "one MB"},
        {"536870912", "512MB", "half a GB"},
        {"1073741824", "1.0GB", "one GB"},
        {"1610612736", "1.5GB", "one and a half GB"},
        {"8589934592", "8.0GB", "typical memory"},
        {"137438953472", "128GB", "integer GB"},
        {"2199023255552", "2.0TB", "two TB"},
        {"1125899906842623", "1023TB", "one byte under 1024 TB"},
        {"1125899906842624", "Infinity", "1024 TB"},
        {"8.0GB", "8B", "reading stops at the first other character"},
        {"8,5e3", "8B", "a comma is no decimal point"},
        {"0x400", "0B", "no hexadecimal form"},
        {"1e999", "Infinity", "an exponent beyond range is infinite"},
        {"1e308", "Infinity", "huge but finite"},
        {"nan", "0B", "no nan form: no number"},
        {"inf", "0B", "no infinity form: no number"},
        {"-1e300", "-Infinity", "hugely negative must not overflow an integer"},
        {"-1e999", "-Infinity", "minus infinity"},
        {"-1125899906842624", "-Infinity", "minus 1024 TB, the mirror of the upper limit"},
        {"-1125899906842623", "-1125899906842623B", "just inside the lower limit, exact"},
        {"-5000000000", "-5000000000B", "beyond a 32-bit integer, printed whole"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(FormatByteSize(c.in), c.want) << c.in;
    }
}

// Under a comma-decimal locale sizes still print with a point.
TEST(FormatByteSize, IgnoresTheCLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr && std::setlocale(LC_ALL, "pt_BR.UTF-8") == nullptr)
        GTEST_SKIP() << "no comma-decimal locale installed (Debian package locales-all)";
    const std::string small = FormatByteSize("1610612736");
    const std::string fraction = FormatByteSize("1.5e9");
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(small, "1.5GB");
    EXPECT_EQ(fraction, "1.4GB");
}

TEST_F(Formatting, ProcessorsAndAdaptersJoinByPosition) {
    struct Case {
        std::vector<std::string> entries;
        std::string_view want, why;
    };
    const Case cases[] = {
        {{}, "", "no entries"},
        {{"A"}, "A", "one entry, no separator"},
        {{"A", "", "B"}, "A, , B", "an empty entry keeps both separators"},
        {{"", ""}, ", ", "empty entries only"},
        {{"Intel(R) Core(TM) i7 CPU   ", "X"}, "Intel(R) Core(TM) i7 CPU   , X", "entries are not trimmed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        m_record.processorNames = c.entries;
        m_record.adapterDescriptions = c.entries;
        EXPECT_EQ(FormatProcessors(m_record), c.want);
        EXPECT_EQ(FormatAdapters(m_record), c.want);
    }
}

TEST_F(Formatting, GamingAlwaysNamesDirectX) {
    struct Case {
        std::vector<std::string> memories;
        std::string directX;
        std::string_view want, why;
    };
    const Case cases[] = {
        {{"1073741824"}, "11", "1.0GB, DirectX 11", "one adapter"},
        {{}, "11", ", DirectX 11", "no adapters: the text begins with the comma"},
        {{"1073741824"}, "", "1.0GB, DirectX ", "no DirectX version: ends with the space"},
        {{"536870912", "", "268435456"}, "10", "512MB, , 256MB, DirectX 10", "an empty size stays empty"},
        {{"1e999"}, "9", "Infinity, DirectX 9", "a hostile size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        m_record.dedicatedVideoMemories = c.memories;
        m_record.directXVersion = c.directX;
        EXPECT_EQ(FormatGaming(m_record), c.want);
    }
}

TEST_F(Formatting, MemoryWritesTheLastOfIdenticalModules) {
    struct Case {
        std::string total;
        std::vector<std::string> makers, parts;
        std::string_view want, why;
    };
    const Case cases[] = {
        {"8589934592",
         {"Samsung", "Samsung"},
         {"M378", "M378"},
         "8.0GB, Samsung M378",
         "two identical modules"},
        {"", {"A"}, {"X"}, ", A X", "no total: the text begins with the comma"},
        {"", {}, {}, "", "nothing at all"},
        {"4294967296", {}, {}, "4.0GB", "total without modules"},
        {"",
         {"A", "B", "A", "B"},
         {"X", "Y", "Y", "X"},
         ", A Y, B X",
         "each list tested by itself: the first two are skipped"},
        {"", {"A", "A"}, {"X", "Y"}, ", A X, A Y", "same maker, different parts"},
        {"", {"Kingston"}, {"Kingston"}, ", Kingston", "maker equal to part number is written once"},
        {"", {""}, {"X"}, ", X", "an empty maker takes no space before the part"},
        {"", {"A"}, {""}, ", A ", "an empty part number differs from the maker: its space is written"},
        {"", {""}, {""}, ", ", "both empty"},
        {"", {"a"}, {"A"}, ", a A", "comparisons are case-sensitive"},
        {"", {"A", "B", "C"}, {"X"}, ", A X", "only as many modules as the shorter list"},
        {"", {" A "}, {"X "}, ",  A  X ", "texts are not trimmed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        m_record.totalPhysicalBytes = c.total;
        m_record.dimmManufacturers = c.makers;
        m_record.dimmPartNumbers = c.parts;
        EXPECT_EQ(FormatMemory(m_record), c.want);
    }
}

// A hostile file can list a great many modules; the text must still come back at once.
TEST_F(Formatting, ManyModulesStayLinear) {
    constexpr std::size_t kModules = 200000;
    m_record.dimmManufacturers.assign(kModules, "A");
    m_record.dimmPartNumbers.assign(kModules, "X");
    EXPECT_EQ(FormatMemory(m_record), ", A X");
}

TEST_F(Formatting, DiskTrimsUnicodeWhiteSpace) {
    struct Case {
        std::string vendor, model;
        std::string_view want, why;
    };
    const Case cases[] = {
        {" ACME ", "ACME", "ACME ACME", "the untrimmed texts differ, so both are written"},
        {"ACME", "ACME", "ACME", "equal texts are written once"},
        {"", "", "", "both empty"},
        {"", " WDC WD10 ", "WDC WD10", "model alone, trimmed, no leading space"},
        {"   ", "Model", "Model", "a vendor of spaces trims to nothing: no separator"},
        {"ACME", "", "ACME", "vendor alone"},
        {"\t\r\n\v\fACME\t", "X", "ACME X", "ASCII control white space"},
        {"\xe3\x80\x80"
         "ACME\xe3\x80\x80",
         "X", "ACME X", "ideographic space is white space"},
        {"\xe2\x80\x83"
         "ACME\xe2\x80\xa8",
         "X", "ACME X", "em space and line separator"},
        {"\xc2\xa0"
         "ACME\xc2\xa0",
         "X",
         "\xc2\xa0"
         "ACME\xc2\xa0 X",
         "a no-break space is not white space"},
        {"ACME \xe3\x82\xa2 ", "X", "ACME \xe3\x82\xa2 X", "inner spaces and katakana kept"},
        {"ACME \xe3\x80", "X", "ACME \xe3\x80 X", "a truncated sequence at the end is kept"},
        {"\xff ACME", "X", "\xff ACME X", "an invalid byte is not white space"},
        {"ACME", "acme", "ACME acme", "the comparison is exact"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        m_record.diskVendor = c.vendor;
        m_record.diskModel = c.model;
        EXPECT_EQ(FormatDisk(m_record), c.want);
    }
}

TEST_F(Formatting, MachineFallsBackFromPlaceholders) {
    struct Case {
        std::string maker, product, version, board, boardProduct;
        std::string_view want, why;
    };
    const Case cases[] = {
        {"Acme", "Acme", "X1", "B", "P", "Acme X1", "repeats are left out"},
        {"Acme", "", "X1", "B", "P", "Acme X1", "empty texts are left out"},
        {"To Be Filled By O.E.M.", "", "", "ASRock", "B450", "ASRock B450", "placeholder 1"},
        {"to be filled by o.e.m.", "", "", "ASRock", "B450", "ASRock B450", "placeholders ignore ASCII case"},
        {"TO BE FILLED BY O.E.M.", "To Be Filled By O.E.M.", "", "ASRock", "B450",
         "TO BE FILLED BY O.E.M. To Be Filled By O.E.M.",
         "repeats are exact, so both are collected and the joined text is no placeholder"},
        {"System manufacturer", "System Product Name", "System Version", "ASUSTeK", "P8H61", "ASUSTeK P8H61",
         "placeholder 2 built from three texts"},
        {"System manufacturer", "", "", "ASUSTeK", "P8H61", "System manufacturer",
         "placeholder 9 has a trailing space the join never makes"},
        {"System manufacturer ", "", "", "ASUSTeK", "P8H61", "ASUSTeK P8H61",
         "placeholder 9 itself, trailing space included"},
        {"Gigabyte Technology Co., Ltd.", "To be filled by O.E.M.", "", "Gigabyte", "H81M", "Gigabyte H81M",
         "placeholder 6"},
        {"ASUS", "All Series", "System Version", "ASUSTeK", "H97", "ASUSTeK H97", "placeholder 7"},
        {"O.E.M", "", "", "", "", "", "a placeholder and no motherboard gives nothing"},
        {"Unknow", "", "", "Board", "Board", "Board", "the motherboard texts drop repeats too"},
        {"Unknown", "", "", "B", "P", "Unknown", "a longer text is no placeholder"},
        {"", "", "", "B", "", "B", "all machine texts empty: motherboard"},
        {"", "", "", "", "", "", "all empty gives an empty text"},
        {"\xc3\x9c"
         "nknow",
         "", "", "B", "P",
         "\xc3\x9c"
         "nknow",
         "no case folding beyond A to Z"},
        {"Machine_information", "", "", "", "To Be Filled By O.E.M.", "To Be Filled By O.E.M.",
         "the motherboard is not compared with the placeholders"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        m_record.machineManufacturer = c.maker;
        m_record.machineProductName = c.product;
        m_record.machineVersion = c.version;
        m_record.boardManufacturer = c.board;
        m_record.boardProduct = c.boardProduct;
        EXPECT_EQ(FormatMachine(m_record), c.want);
    }
}

TEST_F(Formatting, EmptyRecordGivesEmptyTextsButDirectX) {
    EXPECT_EQ(FormatProcessors(m_record), "");
    EXPECT_EQ(FormatAdapters(m_record), "");
    EXPECT_EQ(FormatMemory(m_record), "");
    EXPECT_EQ(FormatDisk(m_record), "");
    EXPECT_EQ(FormatMachine(m_record), "");
    EXPECT_EQ(FormatGaming(m_record), ", DirectX ");
}

}  // namespace
}  // namespace tallyhive
