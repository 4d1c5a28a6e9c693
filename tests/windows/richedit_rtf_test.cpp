// The rich edit control, the RTF it streams out and the converter together:
// text is typed and formatted in a RichEdit20W the way the editor does it,
// the control's RTF must match the fixtures in tests/portable/rtfhtml/richedit
// byte for byte, and the Post command's conversion of it must give the
// fixture's HTML.
//
// To refresh the fixtures after a change of the control (a new Wine), run the
// test with VELLUMA_RICHEDIT_FIXTURES_OUT set to a folder: the test then
// writes what the control produced there (NAME.rtf and NAME.html) and
// compares nothing. Read the HTML before copying the files over.

#include "framework/controls.h"
#include "rtfhtml/rtf_html_converter.h"

#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace {

const std::string kFixtures = VELLUMA_SOURCE_DIR "/tests/portable/rtfhtml/richedit/";

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    ASSERT_TRUE(out.good()) << path;
}

// What the Post command does with the control's RTF.
std::string ConvertAsPost(const std::string& rtfBytes) {
    core::String rtf = core::SingleByteCodePage::Windows1252().Decode(rtfBytes);
    return core::ToUtf8(RtfHtmlConverter().Convert(RtfHtmlConverter::TrimFinalParagraph(rtf), u"\\pard", true));
}

// A RichEdit20W in a hidden window, with the font the editor's dialog gives
// it (MS Shell Dlg 8).
class RichEditWindow {
public:
    RichEditWindow() {
        library_ = ::LoadLibraryW(L"riched20.dll");
        parent_ = ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 500, 400, nullptr, nullptr,
                                    nullptr, nullptr);
        HWND edit = ::CreateWindowExW(0, L"RichEdit20W", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | WS_VSCROLL, 0,
                                      0, 480, 380, parent_, nullptr, nullptr, nullptr);
        font_ = ::CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"MS Shell Dlg");
        if (edit) {
            ::SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
            control.Attach(edit);
        }
    }
    ~RichEditWindow() {
        control.Detach();
        if (parent_) ::DestroyWindow(parent_);
        if (font_) ::DeleteObject(font_);
        if (library_) ::FreeLibrary(library_);
    }
    RichEditWindow(const RichEditWindow&) = delete;
    RichEditWindow& operator=(const RichEditWindow&) = delete;

    bool Ready() const { return library_ && parent_ && control; }

    // In the positions of selections: a paragraph mark counts as one.
    LONG End() const {
        GETTEXTLENGTHEX length{GTL_DEFAULT, 1200};
        return static_cast<LONG>(control.Send(EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length)));
    }

    // Types `text` at the end in the current insertion format; returns where
    // it starts.
    LONG Type(const wchar_t* text) const {
        LONG start = End();
        control.SetSelection(start, start);
        control.Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
        return start;
    }

    // Sets effects and/or height on [start, end) as the editor's buttons do.
    void Format(LONG start, LONG end, DWORD mask, DWORD effects, LONG heightTwips = 0) const {
        control.SetSelection(start, end);
        CHARFORMAT2W format{};
        format.dwMask = mask;
        format.dwEffects = effects;
        format.yHeight = heightTwips;
        EXPECT_TRUE(control.SetSelectionFormat(format));
    }

    void Align(LONG at, WORD alignment) const {
        control.SetSelection(at, at);
        PARAFORMAT2 format{};
        format.dwMask = PFM_ALIGNMENT;
        format.wAlignment = alignment;
        EXPECT_TRUE(control.SetParagraphFormat(format));
    }

    fw::RichEdit control;

private:
    HMODULE library_ = nullptr;
    HWND parent_ = nullptr;
    HFONT font_ = nullptr;
};

struct Sample {
    const char* name;
    std::function<void(RichEditWindow&)> type;
};

const Sample kSamples[] = {
    {"styles",
     [](RichEditWindow& w) {
         w.Type(L"Plain bold italic underline bolditalicunder end.");
         w.Format(6, 10, CFM_BOLD, CFE_BOLD);
         w.Format(11, 17, CFM_ITALIC, CFE_ITALIC);
         w.Format(18, 27, CFM_UNDERLINE, CFE_UNDERLINE);
         w.Format(28, 43, CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE, CFE_BOLD | CFE_ITALIC | CFE_UNDERLINE);
     }},
    // Every height the editor's size box offers, and the three alignments.
    {"sizes_align",
     [](RichEditWindow& w) {
         const struct {
             const wchar_t* text;
             LONG twips;
         } sizes[] = {{L"Size 8.5", 170}, {L"Size 10", 200}, {L"Size 12", 240}, {L"Size 14", 280},
                      {L"Size 18", 360},  {L"Size 24", 480}, {L"Size 36", 720}};
         for (const auto& size : sizes) {
             LONG start = w.Type(size.text);
             w.Format(start, w.End(), CFM_SIZE, 0, size.twips);
             w.Type(L"\r");
         }
         LONG centred = w.Type(L"Centred line\r");
         w.Align(centred, PFA_CENTER);
         LONG right = w.Type(L"Right line\r");
         w.Align(right, PFA_RIGHT);
         LONG left = w.Type(L"Left again with 50% & <tags>");
         w.Align(left, PFA_LEFT);
     }},
    // A link as the editor inserts it: the address goes in as hidden text
    // behind the link text, then the link text gets shadow and link.
    {"link",
     [](RichEditWindow& w) {
         w.Type(L"See Home after \"q\" end");
         w.Format(0, w.End(), CFM_SIZE, 0, 200);
         w.control.SetSelection(4, 8);
         w.control.StreamInRtfSelection("{\\rtf1\\ansi Home\\v #\"http://example.org/x\"\\v0}");
         w.Format(4, 8, CFM_SHADOW | CFM_LINK, CFE_SHADOW | CFE_LINK);
     }},
    // A heading, styles side by side, a centred caption and bullets.
    {"blog_body",
     [](RichEditWindow& w) {
         // Typed text takes the format before it, so everything is typed
         // first and formatted afterwards.
         w.Type(L"My capture\rThis is a screenshot of my desktop with an important detail and caf\u00e9 "
                L"\u201cquotes\u201d.\rCentered caption\rFirst point\rSecond point");
         w.Format(0, 10, CFM_BOLD | CFM_SIZE, CFE_BOLD, 280);
         w.Format(35, 45, CFM_ITALIC, CFE_ITALIC);
         w.Format(54, 63, CFM_BOLD | CFM_UNDERLINE, CFE_BOLD | CFE_UNDERLINE);
         LONG caption = 11 + 78 + 1;
         w.Align(caption, PFA_CENTER);
         LONG first = caption + 17;
         PARAFORMAT2 bullets{};
         bullets.dwMask = PFM_NUMBERING | PFM_ALIGNMENT;
         bullets.wNumbering = PFN_BULLET;
         bullets.wAlignment = PFA_LEFT;
         w.control.SetSelection(first, w.End());
         EXPECT_TRUE(w.control.SetParagraphFormat(bullets));
     }},
};

TEST(RichEditRtf, StreamsMatchFixturesAndConvert) {
    const char* outDir = std::getenv("VELLUMA_RICHEDIT_FIXTURES_OUT");
    for (const Sample& sample : kSamples) {
        SCOPED_TRACE(sample.name);
        RichEditWindow window;
        ASSERT_TRUE(window.Ready());
        sample.type(window);
        std::string rtf = window.control.StreamOutRtf();
        ASSERT_FALSE(rtf.empty());

        if (outDir) {
            WriteFileBytes(std::string(outDir) + "/" + sample.name + ".rtf", rtf);
            WriteFileBytes(std::string(outDir) + "/" + sample.name + ".html", ConvertAsPost(rtf));
            continue;
        }
        std::string fixture = ReadFileBytes(kFixtures + sample.name + ".rtf");
        std::string expected = ReadFileBytes(kFixtures + sample.name + ".html");
        ASSERT_FALSE(fixture.empty());
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(rtf, fixture) << "the control's RTF changed; see this file's header to refresh the fixtures";
        EXPECT_EQ(ConvertAsPost(rtf), expected);
    }
}

} // namespace
