// The resources compiled into the program, read from the .exe loaded as a
// data file: dialog templates, string table, icon images and manifest,
// compared with values written out independently of res/app.rc.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "engine/MessageStrings.h"
#include "res/resource.h"
#include "tests/e2e/E2eDriver.h"
#include "win32/Handles.h"

namespace {

const WORD kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // 1033
const WORD kUkEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK);  // 2057

struct Item {
    int id;
    std::string className;
    std::string text;
    DWORD style;
    DWORD exStyle;
    DWORD helpId;
    short x, y, cx, cy;
    bool operator==(const Item& o) const {
        // Class names compare as Windows compares them: without case.
        return id == o.id && lstrcmpiA(className.c_str(), o.className.c_str()) == 0 && text == o.text &&
               style == o.style && exStyle == o.exStyle && helpId == o.helpId && x == o.x && y == o.y && cx == o.cx &&
               cy == o.cy;
    }
};

struct Template {
    bool extended = false;
    DWORD helpId = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, windowClass, caption;
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::string face;
    std::vector<Item> items;
};

std::string ItemToText(const Item& item) {
    char text[256];
    std::snprintf(text, sizeof text, "id %d %s %s style 0x%08lX ex 0x%lX help %lu (%d,%d,%d,%d)", item.id,
                  item.className.c_str(), Printable(item.text).c_str(), static_cast<unsigned long>(item.style),
                  static_cast<unsigned long>(item.exStyle), static_cast<unsigned long>(item.helpId), item.x, item.y,
                  item.cx, item.cy);
    return text;
}

// Reads a template's fields in order; any read past the end marks it bad.
class TemplateReader {
public:
    TemplateReader(const BYTE* data, std::size_t size) : data_(data), size_(size) {}
    bool Bad() const { return bad_; }

    template <typename T>
    T Get() {
        T value{};
        if (at_ + sizeof(T) > size_) {
            bad_ = true;
            return value;
        }
        std::memcpy(&value, data_ + at_, sizeof(T));
        at_ += sizeof(T);
        return value;
    }
    std::string WideString() {
        std::string text;
        for (WORD c; (c = Get<WORD>()) != 0 && !bad_;) text += c < 0x100 ? static_cast<char>(c) : '?';
        return text;
    }
    // A name or an ordinal; ordinals of the predefined classes become their names.
    std::string NameOrOrdinal(bool isClass) {
        WORD first = Get<WORD>();
        if (first == 0) return std::string();
        if (first == 0xFFFF) {
            WORD ordinal = Get<WORD>();
            if (isClass) {
                switch (ordinal) {
                    case 0x80: return "Button";
                    case 0x81: return "Edit";
                    case 0x82: return "Static";
                    case 0x83: return "ListBox";
                    case 0x84: return "ScrollBar";
                    case 0x85: return "ComboBox";
                }
            }
            return "#" + std::to_string(ordinal);
        }
        at_ -= 2;
        return WideString();
    }
    void AlignToDword() { at_ = (at_ + 3) & ~static_cast<std::size_t>(3); }

private:
    const BYTE* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool bad_ = false;
};

bool ParseTemplate(const BYTE* data, std::size_t size, Template& out) {
    TemplateReader in(data, size);
    WORD count = 0;
    if (size >= 4 && data[2] == 0xFF && data[3] == 0xFF) {
        out.extended = true;
        if (in.Get<WORD>() != 1) return false;  // version
        in.Get<WORD>();
        out.helpId = in.Get<DWORD>();
        out.exStyle = in.Get<DWORD>();
        out.style = in.Get<DWORD>();
    } else {
        out.style = in.Get<DWORD>();
        out.exStyle = in.Get<DWORD>();
    }
    count = in.Get<WORD>();
    out.x = in.Get<short>();
    out.y = in.Get<short>();
    out.cx = in.Get<short>();
    out.cy = in.Get<short>();
    out.menu = in.NameOrOrdinal(false);
    out.windowClass = in.NameOrOrdinal(false);
    out.caption = in.WideString();
    if (out.style & DS_SETFONT) {
        out.pointSize = in.Get<WORD>();
        if (out.extended) {
            out.weight = in.Get<WORD>();
            out.italic = in.Get<BYTE>();
            out.charset = in.Get<BYTE>();
        }
        out.face = in.WideString();
    }
    for (WORD i = 0; i < count && !in.Bad(); ++i) {
        in.AlignToDword();
        Item item{};
        if (out.extended) {
            item.helpId = in.Get<DWORD>();
            item.exStyle = in.Get<DWORD>();
            item.style = in.Get<DWORD>();
        } else {
            item.style = in.Get<DWORD>();
            item.exStyle = in.Get<DWORD>();
        }
        item.x = in.Get<short>();
        item.y = in.Get<short>();
        item.cx = in.Get<short>();
        item.cy = in.Get<short>();
        item.id = out.extended ? static_cast<int>(in.Get<DWORD>()) : in.Get<WORD>();
        item.className = in.NameOrOrdinal(true);
        item.text = in.NameOrOrdinal(false);
        WORD extra = in.Get<WORD>();
        for (WORD b = 0; b < extra; ++b) in.Get<BYTE>();
        out.items.push_back(item);
    }
    return !in.Bad();
}

BOOL CALLBACK AddLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR list) {
    reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
    return TRUE;
}

BOOL CALLBACK AddType(HMODULE, LPSTR type, LONG_PTR list) {
    reinterpret_cast<std::set<ULONG_PTR>*>(list)->insert(IS_INTRESOURCE(type) ? reinterpret_cast<ULONG_PTR>(type)
                                                                              : 0xFFFFFFFF);
    return TRUE;
}

BOOL CALLBACK AddName(HMODULE, LPCSTR, LPSTR name, LONG_PTR list) {
    reinterpret_cast<std::set<ULONG_PTR>*>(list)->insert(reinterpret_cast<ULONG_PTR>(name));
    return TRUE;
}

// The one language a resource exists in, or 0 when there is not exactly one.
WORD OnlyLanguage(HMODULE module, LPCSTR type, LPCSTR name) {
    std::vector<WORD> languages;
    EnumResourceLanguagesA(module, type, name, AddLanguage, reinterpret_cast<LONG_PTR>(&languages));
    return languages.size() == 1 ? languages[0] : 0;
}

bool LoadResource(HMODULE module, LPCSTR type, LPCSTR name, WORD language, const BYTE*& data, DWORD& size) {
    HRSRC found = FindResourceExA(module, type, name, language);
    if (!found) return false;
    HGLOBAL loaded = LoadResource(module, found);
    data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    size = SizeofResource(module, found);
    return data != nullptr;
}

void CheckTemplate(HMODULE module, int id, WORD language, const Template& expected) {
    std::string what = "template " + std::to_string(id);
    EXPECT_TRUE(OnlyLanguage(module, RT_DIALOG, MAKEINTRESOURCEA(id)) == language)
        << what + " exists once, in language " + std::to_string(language);
    const BYTE* data = nullptr;
    DWORD size = 0;
    Template actual;
    ASSERT_TRUE(LoadResource(module, RT_DIALOG, MAKEINTRESOURCEA(id), language, data, size) &&
                ParseTemplate(data, size, actual))
        << what + " loads and parses";
    EXPECT_TRUE(actual.extended == expected.extended) << what + " format (extended or standard)";
    char header[160];
    std::snprintf(header, sizeof header, "style 0x%08lX ex 0x%08lX help %lu (%d,%d,%d,%d)",
                  static_cast<unsigned long>(actual.style), static_cast<unsigned long>(actual.exStyle),
                  static_cast<unsigned long>(actual.helpId), actual.x, actual.y, actual.cx, actual.cy);
    EXPECT_TRUE(actual.style == expected.style && actual.exStyle == expected.exStyle &&
                actual.helpId == expected.helpId && actual.x == expected.x && actual.y == expected.y &&
                actual.cx == expected.cx && actual.cy == expected.cy)
        << what + " " + header;
    EXPECT_TRUE(actual.menu.empty() && actual.windowClass.empty()) << what + " has no menu and the standard class";
    EXPECT_TRUE(actual.caption == expected.caption) << what + " caption " + Printable(actual.caption);
    EXPECT_TRUE(actual.pointSize == expected.pointSize && actual.face == expected.face &&
                actual.weight == expected.weight && actual.italic == expected.italic &&
                actual.charset == expected.charset)
        << what + " font " + std::to_string(actual.pointSize) + " " + actual.face;
    EXPECT_TRUE(actual.items.size() == expected.items.size()) << what + " control count";
    for (std::size_t i = 0; i < actual.items.size() && i < expected.items.size(); ++i) {
        EXPECT_TRUE(actual.items[i] == expected.items[i]) << what + " control " + std::to_string(i + 1) + ": " +
                                                                 ItemToText(actual.items[i]) + "\n      expected " +
                                                                 ItemToText(expected.items[i]);
    }
}

void CheckTemplates(HMODULE module) {
    Template select;
    select.extended = true;
    select.style = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
    select.exStyle = WS_EX_APPWINDOW;
    select.cx = 292;
    select.cy = 111;
    select.caption = "Dravlek";
    select.pointSize = 8;
    select.charset = DEFAULT_CHARSET;
    select.face = "MS Sans Serif";
    select.items = {
        {IDC_UPDATE, "Button", "[patch]", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 235, 25, 50, 14},
        {IDCANCEL, "Button", "[cancel]", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 235, 45, 50, 14},
        {IDC_PACKAGE_LIST, "ListBox", "",
         WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT, 0,
         0, 10, 25, 220, 80},
        {IDC_PACKAGE_PROMPT, "Static", "[patches]", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 0, 0, 10, 10, 230, 15},
    };
    EXPECT_TRUE(select.style == 0x90C800C0 && select.items[2].style == 0x50A10103) << "the expected values themselves";
    CheckTemplate(module, IDD_PACKAGE_SELECT, kUsEnglish, select);

    Template progress;
    progress.style = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION;
    progress.cx = 227;
    progress.cy = 61;
    progress.caption = "[patching]";
    progress.pointSize = 8;
    progress.face = "MS Sans Serif";
    progress.items = {
        {IDC_STATUS_LABEL, "Static", "[status]", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 0, 0, 7, 7, 213, 8},
        {IDC_STATUS_BOX, "Edit", "",
         WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_LEFT | ES_MULTILINE | ES_READONLY, 0, 0, 5, 20, 170, 35},
        {IDC_CLOSE, "Button", "[close]", WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 180,
         40, 41, 14},
    };
    EXPECT_TRUE(progress.style == 0x80C000C0 && progress.items[1].style == 0x50810804 &&
                progress.items[2].style == 0x58010000)
        << "the expected values themselves";
    CheckTemplate(module, IDD_PROGRESS, kUkEnglish, progress);
}

void CheckStrings(HMODULE module) {
    for (int id = IDS_ABOUT_MENU; id <= IDS_UPDATE_FAILED; ++id) {
        char text[1024];
        int length = LoadStringA(module, static_cast<UINT>(id), text, sizeof text);
        std::string actual(text, length > 0 ? length : 0);
        EXPECT_TRUE(actual == BuiltInMessageString(id) && !actual.empty())
            << "string " + std::to_string(id) + " is " + Printable(actual);
    }
    // Strings live in blocks of 16: ids 96-111 in block 7, 112-127 in block 8.
    for (int block = 7; block <= 8; ++block) {
        EXPECT_TRUE(OnlyLanguage(module, RT_STRING, MAKEINTRESOURCEA(block)) == kUsEnglish)
            << "string block " + std::to_string(block) + " exists once, in language 1033";
    }
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

void CheckIcon(HMODULE module) {
    EXPECT_TRUE(OnlyLanguage(module, RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_APP)) == kUkEnglish)
        << "icon group 128 exists once, in language 2057";
    const BYTE* data = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(LoadResource(module, RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_APP), kUkEnglish, data, size) && size >= 6)
        << "icon group loads";
    WORD count;
    std::memcpy(&count, data + 4, 2);
    ASSERT_TRUE(count == 3 && size >= 6 + 3 * sizeof(GroupIconEntry)) << "three images";

    struct Expected {
        int width, height, colours, bits;
        DWORD bytes;
    };
    const Expected expected[3] = {{32, 32, 16, 4, 744}, {16, 16, 16, 4, 296}, {32, 32, 0, 8, 2216}};
    for (int i = 0; i < 3; ++i) {
        GroupIconEntry entry;
        std::memcpy(&entry, data + 6 + i * sizeof(GroupIconEntry), sizeof entry);
        std::string what = "icon image " + std::to_string(i + 1);
        EXPECT_TRUE(entry.width == expected[i].width && entry.height == expected[i].height &&
                    entry.colourCount == expected[i].colours && entry.bitCount == expected[i].bits &&
                    entry.planes == 1 && entry.bytes == expected[i].bytes)
            << what + " directory entry: " + std::to_string(entry.width) + "x" + std::to_string(entry.height) + " " +
                   std::to_string(entry.bitCount) + " bpp, " + std::to_string(entry.bytes) + " bytes";
        EXPECT_TRUE(OnlyLanguage(module, RT_ICON, MAKEINTRESOURCEA(entry.id)) == kUkEnglish)
            << what + " exists once, in language 2057";
        const BYTE* image = nullptr;
        DWORD imageSize = 0;
        if (!(LoadResource(module, RT_ICON, MAKEINTRESOURCEA(entry.id), kUkEnglish, image, imageSize) &&
              imageSize == expected[i].bytes && imageSize >= sizeof(BITMAPINFOHEADER))) {
            ADD_FAILURE() << what + " loads with its size";
            continue;
        }
        BITMAPINFOHEADER header;
        std::memcpy(&header, image, sizeof header);
        EXPECT_TRUE(header.biSize == 40 && header.biWidth == expected[i].width &&
                    header.biHeight == 2 * expected[i].height && header.biPlanes == 1 &&
                    header.biBitCount == expected[i].bits && header.biCompression == BI_RGB)
            << what + " is an uncompressed image with colour bitmap and mask";
        // The drawing: some pixels transparent, some opaque, and the red of
        // the exclamation mark among the opaque ones.
        const int width = expected[i].width, height = expected[i].height, bits = expected[i].bits;
        const int colours = 1 << bits;
        const BYTE* palette = image + 40;
        const BYTE* pixels = palette + 4 * colours;
        const int colourRow = ((width * bits + 31) / 32) * 4;
        const BYTE* mask = pixels + colourRow * height;
        const int maskRow = ((width + 31) / 32) * 4;
        int transparent = 0, red = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                bool clear = (mask[y * maskRow + x / 8] & (0x80 >> (x % 8))) != 0;
                int index =
                    bits == 8 ? pixels[y * colourRow + x]
                              : (x % 2 == 0 ? pixels[y * colourRow + x / 2] >> 4 : pixels[y * colourRow + x / 2] & 15);
                const BYTE* rgb = palette + 4 * index;  // blue, green, red
                if (clear) ++transparent;
                else if (rgb[2] == 255 && rgb[1] == 0 && rgb[0] == 0) ++red;
            }
        }
        EXPECT_TRUE(transparent > 0 && transparent < width * height && red > 0)
            << what + " has a transparent background and a red mark";
    }
}

void CheckManifest(HMODULE module) {
    const BYTE* data = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(LoadResource(module, RT_MANIFEST, MAKEINTRESOURCEA(1), kUsEnglish, data, size)) << "manifest 1 exists";
    std::string text(reinterpret_cast<const char*>(data), size);
    const char* needed[] = {
        "level=\"requireAdministrator\"",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        ">true</dpiAware>",
        ">true</longPathAware>",
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // Windows 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // Windows 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // Windows 10 and 11
    };
    for (const char* part : needed)
        EXPECT_TRUE(text.find(part) != std::string::npos) << std::string("manifest has ") + part;
}

void CheckNothingElse(HMODULE module) {
    std::set<ULONG_PTR> types;
    EnumResourceTypesA(module, AddType, reinterpret_cast<LONG_PTR>(&types));
    const std::set<ULONG_PTR> expected = {3, 5, 6, 14, 24};  // icon, dialog, string, icon group, manifest
    EXPECT_TRUE(types == expected) << "resource types are exactly icon, dialog, string table, icon group, manifest";

    std::set<ULONG_PTR> dialogs;
    EnumResourceNamesA(module, RT_DIALOG, AddName, reinterpret_cast<LONG_PTR>(&dialogs));
    EXPECT_EQ(dialogs, (std::set<ULONG_PTR>{IDD_PACKAGE_SELECT, IDD_PROGRESS})) << "the two dialog templates only";
}

// The program loaded as a data file, afresh for each test.
class ProgramResourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        module_.Reset(LoadLibraryExA(E2ePaths().updater.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module_) << "the program loads as a data file";
    }

    UniqueModule module_;
};

TEST_F(ProgramResourcesTest, DialogTemplates) { CheckTemplates(module_.Get()); }
TEST_F(ProgramResourcesTest, StringTable) { CheckStrings(module_.Get()); }
TEST_F(ProgramResourcesTest, IconImages) { CheckIcon(module_.Get()); }
TEST_F(ProgramResourcesTest, Manifest) { CheckManifest(module_.Get()); }
TEST_F(ProgramResourcesTest, NoOtherResources) { CheckNothingElse(module_.Get()); }

}  // namespace
