#include <gtest/gtest.h>

#include "app/settings_store.h"
#include "test_files.h"

using namespace vesmera;
using namespace vesmera::testing_files;

namespace {

const std::string kDir = "/opt/scale/";
const std::string kIni = kDir + "Vesmera.ini";

class SettingsStoreTest : public testing::Test {
protected:
    MemoryFileSystem fs;
    SettingsStore store{[] { return kDir; }, fs};

    HeldSettings LoadFrom(const std::string& content) {
        fs.files[kIni] = content;
        return store.Load();
    }
};

void ExpectHeld(const HeldSettings& s, const HeldSettings& expected) {
    EXPECT_EQ(s.port, expected.port);
    EXPECT_EQ(s.baudRate, expected.baudRate);
    EXPECT_EQ(s.delayMs, expected.delayMs);
    EXPECT_EQ(s.channel, expected.channel);
    EXPECT_EQ(s.skin, expected.skin);
    EXPECT_EQ(s.color1, expected.color1);
    EXPECT_EQ(s.color2, expected.color2);
    EXPECT_EQ(s.background, expected.background);
    EXPECT_EQ(s.ip, expected.ip);
    EXPECT_EQ(s.serverPort, expected.serverPort);
    EXPECT_EQ(s.networkMode, expected.networkMode);
    EXPECT_EQ(s.protocol, expected.protocol);
}

// Spelled out rather than taken from HeldSettings, so a wrong default there is caught.
void ExpectDefaults(const HeldSettings& s) {
    ExpectHeld(s, {.port = "Com1",
                   .baudRate = 19200,
                   .delayMs = 100,
                   .channel = 1,
                   .skin = "Cold",
                   .color1 = "clRed",
                   .color2 = "clGreen",
                   .background = "clBlack",
                   .ip = "",
                   .serverPort = 0,
                   .networkMode = false,
                   .protocol = "Ворлен"});
}

TEST_F(SettingsStoreTest, NoFileGivesEveryDefault) {
    ExpectDefaults(store.Load());
}

TEST_F(SettingsStoreTest, UnreadableEmptyOrBinaryFilesGiveTheDefaults) {
    fs.readErrno = EACCES;
    ExpectDefaults(store.Load());
    fs.readErrno = 0;
    ExpectDefaults(LoadFrom(""));
    ExpectDefaults(LoadFrom(std::string("\0\xFF\xFE\x01[\0=\xC0", 9)));
    ExpectDefaults(LoadFrom("Порт\r\nСкорость обмена\r\n[Общие]\r\nIP\r\n")); // no '='
}

TEST_F(SettingsStoreTest, KeysOutsideTheirSectionAreMissing) {
    ExpectDefaults(LoadFrom("[Общие]\r\nПорт=Com9\r\nСкорость обмена=9600\r\n"
                            "[Настройки порта]\r\nСкин=Нет\r\nIP=h\r\n"));
}

struct IntegerRow {
    const char* text;
    std::int32_t baudRate; // default 19200
    std::int32_t channel;  // default 1
    std::uint16_t delay;   // default 100, modulo 65536
    bool networkMode;      // default false
};

class IntegerRows : public SettingsStoreTest, public testing::WithParamInterface<IntegerRow> {};

TEST_P(IntegerRows, ConvertOrFallBackToEachDefault) {
    const std::string v = GetParam().text;
    const HeldSettings s =
        LoadFrom("[Настройки порта]\r\nСкорость обмена=" + v + "\r\nКанал=" + v +
                 "\r\n[Общие]\r\nЗадержка(мск)=" + v + "\r\nСетевой режим=" + v + "\r\n");
    EXPECT_EQ(s.baudRate, GetParam().baudRate);
    EXPECT_EQ(s.channel, GetParam().channel);
    EXPECT_EQ(s.delayMs, GetParam().delay);
    EXPECT_EQ(s.networkMode, GetParam().networkMode);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IntegerRows,
    testing::Values(
        IntegerRow{"9600", 9600, 9600, 9600, true}, IntegerRow{"0x1A", 26, 26, 26, true},
        IntegerRow{"$1A", 26, 26, 26, true}, IntegerRow{"0X1a", 26, 26, 26, true},
        IntegerRow{"-3", -3, -3, 65533, true}, IntegerRow{"-1", -1, -1, 65535, true},
        IntegerRow{"70000", 70000, 70000, 4464, true}, IntegerRow{"65536", 65536, 65536, 0, true},
        IntegerRow{"0", 0, 0, 0, false}, IntegerRow{"5", 5, 5, 5, true},
        IntegerRow{"\"2\"", 2, 2, 2, true}, // quotes dropped before converting
        IntegerRow{"7abc", 19200, 1, 100, false}, IntegerRow{"letters", 19200, 1, 100, false},
        IntegerRow{"true", 19200, 1, 100, false}, IntegerRow{"", 19200, 1, 100, false},
        IntegerRow{"2147483648", 19200, 1, 100, false},
        IntegerRow{"-2147483648", INT32_MIN, INT32_MIN, 0, true},
        IntegerRow{"1.5", 19200, 1, 100, false}));

TEST_F(SettingsStoreTest, ABooleanThatDoesNotConvertKeepsItsDefault) {
    // The default of "Сетевой режим" is false, so only a default of true could show it; the
    // reading goes through the integer default 1 or 0, not through the text.
    EXPECT_FALSE(LoadFrom("[Общие]\r\nСетевой режим=true\r\n").networkMode);
    EXPECT_TRUE(LoadFrom("[Общие]\r\nСетевой режим=-1\r\n").networkMode);
}

TEST_F(SettingsStoreTest, EmptyValueIsNotAMissingKey) {
    const HeldSettings s = LoadFrom("[Настройки порта]\r\nПорт=\r\n[Общие]\r\nСкин=\r\n"
                                    "Протокол=\r\nЦвет1=  \r\n");
    EXPECT_EQ(s.port, "");
    EXPECT_EQ(s.skin, "");
    EXPECT_EQ(s.protocol, "");
    EXPECT_EQ(s.color1, "");
    EXPECT_EQ(s.color2, "clGreen"); // missing
}

TEST_F(SettingsStoreTest, TextsStayAsWrittenCaseIncluded) {
    const HeldSettings s =
        LoadFrom("[общие]\r\nцвет2=CLGREEN\r\nФон=255\r\nЦвет1=green\r\nпротокол=ворлен\r\n"
                 "Скин=нет\r\nIP=\"  10.1.1.1 \"\r\nPort=0x1F90\r\n");
    EXPECT_EQ(s.color2, "CLGREEN");
    EXPECT_EQ(s.background, "255");
    EXPECT_EQ(s.color1, "green");
    EXPECT_EQ(s.protocol, "ворлен"); // compared exactly later: selects no poll
    EXPECT_EQ(s.skin, "нет");
    EXPECT_EQ(s.ip, "  10.1.1.1 ");
    EXPECT_EQ(s.serverPort, 8080);
}

TEST_F(SettingsStoreTest, AKeyGivenTwiceCountsOnce) {
    const HeldSettings s =
        LoadFrom("[Настройки порта]\r\nКанал=7\r\nКАНАЛ=8\r\n[Настройки порта]\r\nКанал=9\r\n");
    EXPECT_EQ(s.channel, 7);
}

TEST_F(SettingsStoreTest, LongValuesAreCutAt2047Characters) {
    const std::string cyrillic5000 = [] {
        std::string s;
        for (int i = 0; i < 5000; ++i)
            s += "ж";
        return s;
    }();
    HeldSettings s =
        LoadFrom("[Общие]\r\nIP=" + cyrillic5000 + "\r\nСкин=" + std::string(2047, 'a') + "\r\n");
    EXPECT_EQ(s.ip, cyrillic5000.substr(0, 2047 * 2));
    EXPECT_EQ(s.skin, std::string(2047, 'a'));
    // The cut comes before the conversion: 2046 zeros and "12" read as 1.
    s = LoadFrom("[Общие]\r\nPort=" + std::string(2046, '0') + "12\r\n");
    EXPECT_EQ(s.serverPort, 1);
    // A character beyond 16 bits takes two of the 2047 and is not split.
    s = LoadFrom("[Общие]\r\nIP=" + std::string(2046, 'b') + "\xF0\x9F\x98\x80\r\n");
    EXPECT_EQ(s.ip, std::string(2046, 'b'));
}

TEST_F(SettingsStoreTest, FirstSaveWritesTheDialogsFileByteForByte) {
    // The dialog's texts for the defaults.
    const SettingsTexts t{"Com1",    "19200",   "1", "100", "Cold", "clRed",
                          "clGreen", "clBlack", "",  "0",   false,  "Ворлен"};
    store.SaveAll(t);
    EXPECT_EQ(fs.files[kIni], "[Настройки порта]\r\nПорт=Com1\r\nСкорость обмена=19200\r\n"
                              "Канал=1\r\n[Общие]\r\nЗадержка(мск)=100\r\nСкин=Cold\r\n"
                              "Цвет1=clRed\r\nЦвет2=clGreen\r\nФон=clBlack\r\nIP=\r\nPort=0\r\n"
                              "Сетевой режим=0\r\nПротокол=Ворлен\r\n");
    EXPECT_EQ(fs.replacements, 1); // the twelve keys in one replacement
}

TEST_F(SettingsStoreTest, UnchangedValuesKeepTheirBytesWhateverTheirEncoding) {
    // A UTF-8 mark, then lines brought from the Windows program in Windows-1251: "Протокол"
    // with an unchanged "Ворлен" in quotes, and a comment.
    const std::string protocol1251 =
        "\xCF\xF0\xEE\xF2\xEE\xEA\xEE\xEB = \"\xC2\xEE\xF0\xEB\xE5\xED\"";
    const std::string comment1251 = "; \xC2\xE5\xF1\xFB";
    fs.files[kIni] =
        "\xEF\xBB\xBF[Общие]\r\n" + protocol1251 + "\r\n" + comment1251 + "\r\nIP=old\r\n";
    store.SaveAll({"Com1", "19200", "1", "100", "Cold", "clRed", "clGreen", "clBlack", "new", "0",
                   false, "Ворлен"});
    EXPECT_EQ(fs.files[kIni],
              "\xEF\xBB\xBF[Общие]\r\n" + protocol1251 + "\r\n" + comment1251 +
                  "\r\nIP=new\r\nЗадержка(мск)=100\r\nСкин=Cold\r\nЦвет1=clRed\r\n"
                  "Цвет2=clGreen\r\nФон=clBlack\r\nPort=0\r\nСетевой режим=0\r\n"
                  "[Настройки порта]\r\nПорт=Com1\r\nСкорость обмена=19200\r\nКанал=1\r\n");
    EXPECT_EQ(store.Load().protocol, "Ворлен");
}

TEST_F(SettingsStoreTest, SaveAllThenLoadGivesTheValuesBack) {
    fs.files[kIni] = "; kept\r\n[Общие]\r\nЧужой=x\r\nСкин=Old\r\n";
    SettingsTexts t{"/dev/ttyUSB0", "115200", "0x1F",        "-1",   "Нет", "255",
                    "CLGREEN",      "clNavy", "scale.local", "5000", true,  "6.43"};
    store.SaveAll(t);
    ExpectHeld(store.Load(), {.port = "/dev/ttyUSB0",
                              .baudRate = 115200,
                              .delayMs = 65535,
                              .channel = 31,
                              .skin = "Нет",
                              .color1 = "255",
                              .color2 = "CLGREEN",
                              .background = "clNavy",
                              .ip = "scale.local",
                              .serverPort = 5000,
                              .networkMode = true,
                              .protocol = "6.43"});
    const std::string& file = fs.files[kIni];
    EXPECT_EQ(file.rfind("; kept\r\n[Общие]\r\nЧужой=x\r\nСкин=Нет\r\nЗадержка(мск)=-1\r\n", 0), 0u)
        << file;
    t.networkMode = false;
    store.SaveAll(t);
    EXPECT_FALSE(store.Load().networkMode);
}

TEST_F(SettingsStoreTest, ARefusedSaveKeepsEveryOldValue) {
    const std::string before = "[Настройки порта]\r\nПорт=Com2\r\n[Общие]\r\nСкин=Cold\r\n";
    fs.files[kIni] = before;
    fs.failAt = 1;
    SettingsTexts t{"Com3",    "9600",    "4", "200", "Sky", "clRed",
                    "clGreen", "clBlack", "",  "0",   false, "6.43"};
    try {
        store.SaveAll(t);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Unable to write to /opt/scale/Vesmera.ini");
    }
    EXPECT_EQ(fs.replacements, 1);
    EXPECT_EQ(fs.files[kIni], before);
}

TEST_F(SettingsStoreTest, AFileThatIsThereButUnreadableIsNotOverwritten) {
    fs.files[kIni] = "[Общие]\r\nIP=precious\r\n";
    fs.readErrno = EACCES;
    EXPECT_THROW(store.SaveSkin("Нет"), Exception);
    EXPECT_EQ(fs.replacements, 0);
    EXPECT_EQ(fs.files[kIni], "[Общие]\r\nIP=precious\r\n");
}

TEST_F(SettingsStoreTest, SaveSkinWritesThatKeyAlone) {
    fs.files[kIni] = "[Общие]\r\nСкин=Cold\r\nIP=h\r\n";
    store.SaveSkin("Нет");
    EXPECT_EQ(fs.files[kIni], "[Общие]\r\nСкин=Нет\r\nIP=h\r\n");
    EXPECT_EQ(fs.replacements, 1);
}

TEST(SettingsStoreDirectory, IsAskedAgainAtEveryLoad) {
    MemoryFileSystem fs;
    fs.files["/a/Vesmera.ini"] = "[Настройки порта]\r\nПорт=A\r\n";
    fs.files["/b/Vesmera.ini"] = "[Настройки порта]\r\nПорт=B\r\n";
    std::string dir = "/a/";
    SettingsStore store([&] { return dir; }, fs);
    EXPECT_EQ(store.Load().port, "A");
    dir = "/b/";
    EXPECT_EQ(store.Load().port, "B");
    EXPECT_EQ(store.TerminalListPath(), "/b/ZidOzod.ini");
}

TEST(SettingsStoreOnDisk, ALocationNobodyCanWriteGivesTheFullPath) {
    TempDir dir;
    WriteBytes(dir.File("plain"), "x");
    const std::string under = dir.File("plain") + "/";
    SettingsStore store([&] { return under; }, RealFileSystem());
    ExpectDefaults(store.Load());
    try {
        store.SaveSkin("Нет");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + under + "Vesmera.ini");
    }
}

TEST(SettingsStoreOnDisk, TenMegabyteFileLoadsAndSaves) {
    TempDir dir;
    std::string big(10 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>((i * 7919) % 256);
    WriteBytes(dir.File("Vesmera.ini"), big);
    SettingsStore store([&] { return dir.Dir(); }, RealFileSystem());
    EXPECT_EQ(store.Load().skin, "Cold"); // no section of its own in the noise
    store.SaveSkin("Нет");
    EXPECT_EQ(store.Load().skin, "Нет");
    // The noise is kept byte for byte; the new section follows it, after a line end of its
    // own, in the file's own Windows-1251 and with the line ends the file uses.
    const std::string saved = ReadBytes(dir.File("Vesmera.ini"));
    ASSERT_GT(saved.size(), big.size());
    EXPECT_EQ(saved.substr(0, big.size()), big);
    EXPECT_EQ(saved.substr(big.size()),
              "\n[\xCE\xE1\xF9\xE8\xE5]\n\xD1\xEA\xE8\xED=\xCD\xE5\xF2\n");
}

} // namespace
