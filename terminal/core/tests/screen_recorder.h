// Test scaffolding for the screen: one recorder that is both the painter and the owner and writes every call
// into one ordered log, and a readable dump of a screen's state. Adjacent text runs that continue each other
// in the same colours are joined, so that a stream split anywhere logs the same picture.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "terminal/core/screen.h"

namespace terminal::testing {

// Bytes as readable text: printable ASCII stays, the rest (and '\' and '"') as \xHH.
inline std::string Escape(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
            out += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

inline std::string ColourName(Colour c) {
    static const std::map<Colour, std::string> names = {
        {Rgb(0, 0, 0), "black"},      {Rgb(0, 0, 128), "navy"},         {Rgb(0, 255, 0), "lime"},
        {Rgb(0, 255, 255), "cyan"},   {Rgb(255, 0, 0), "red"},          {Rgb(128, 0, 128), "purple"},
        {Rgb(128, 128, 0), "olive"},  {Rgb(255, 255, 255), "white"},    {Rgb(200, 200, 200), "silver"},
        {Rgb(0, 0, 255), "blue"},     {Rgb(255, 0, 255), "magenta"},    {Rgb(255, 255, 0), "yellow"},
        {Rgb(0, 128, 0), "green"},    {Rgb(0, 128, 128), "teal"},       {Rgb(128, 0, 0), "maroon"},
        {Rgb(128, 128, 128), "grey"}, {Rgb(214, 218, 255), "lavender"},
    };
    if (auto it = names.find(c); it != names.end()) {
        return it->second;
    }
    char hex[12];
    std::snprintf(hex, sizeof hex, "%06X", c);
    return hex;
}

inline std::string Colours(Colour foreground, Colour background) {
    return ColourName(foreground) + "/" + ColourName(background);
}

class ScreenRecorder : public ScreenPainter, public ScreenOwner {
  public:
    // Painter.
    void DrawText(const TextRun& run) override {
        if (!m_events.empty() && m_events.back().text && m_events.back().row == run.row &&
            m_events.back().column + static_cast<int32_t>(m_events.back().bytes.size()) == run.column &&
            m_events.back().foreground == run.foreground && m_events.back().background == run.background) {
            m_events.back().bytes += run.text;
            return;
        }
        Event e;
        e.text = true;
        e.row = run.row;
        e.column = run.column;
        e.bytes = std::string(run.text);
        e.foreground = run.foreground;
        e.background = run.background;
        e.pixel = {run.x, run.y};
        m_events.push_back(std::move(e));
    }
    void FillArea(const PixelRect& area, Colour colour, FillReason reason) override {
        static const char* const kReasons[] = {"background", "clear-screen", "clear-below"};
        Add("fill " + std::to_string(area.left) + "," + std::to_string(area.top) + "-" +
            std::to_string(area.right) + "," + std::to_string(area.bottom) + " " + ColourName(colour) + " " +
            kReasons[static_cast<int>(reason)]);
    }
    void DrawCursorCell(const TextRun& cell, bool inverted) override {
        Add("cursor " + std::to_string(cell.row) + "," + std::to_string(cell.column) + " \"" +
            Escape(cell.text) + "\" " + Colours(cell.foreground, cell.background) +
            (inverted ? " inverted" : " normal"));
    }
    void DrawFrame() override { Add("frame"); }
    void RequestFullRepaint() override { Add("repaint"); }

    // Owner.
    void Reply(std::string_view bytes) override { Add("reply \"" + Escape(bytes) + "\""); }
    void Beep() override { Add("beep"); }
    void OpenOperatorsGuide(std::string t) override { Owner("OpenOperatorsGuide", t); }
    void StartFileTransfer(std::string t) override { Owner("StartFileTransfer", t); }
    void OpenHostFile(std::string t) override { Owner("OpenHostFile", t); }
    void ExpectDigest(std::string t) override { Owner("ExpectDigest", t); }
    void ShowHostMessage(std::string t) override { Owner("ShowHostMessage", t); }
    void DisplayErrorBox(std::string t) override { Owner("DisplayErrorBox", t); }
    void SwitchPractice(std::string t) override { Owner("SwitchPractice", t); }
    void SetHost(std::string t) override { Owner("SetHost", t); }
    void SetDataSet(std::string t) override { Owner("SetDataSet", t); }
    void StartProgram(std::string t) override { Owner("StartProgram", t); }
    void SetTitle(std::string t) override { Owner("SetTitle", t); }
    void SwitchToolbar(int32_t n) override { Owner("SwitchToolbar", n); }
    void OpenCalendar(std::optional<int32_t> date) override {
        if (date) {
            Owner("OpenCalendar", *date);
        } else {
            Add("owner OpenCalendar none");
        }
    }
    void AppendTerminalId(int32_t n) override { Owner("AppendTerminalId", n); }
    void SetTerminalId(std::variant<int32_t, std::string> id) override {
        if (std::holds_alternative<int32_t>(id)) {
            Owner("SetTerminalId", std::get<int32_t>(id));
        } else {
            Owner("SetTerminalId", std::get<std::string>(id));
        }
    }
    void SetChainable(int32_t n) override { Owner("SetChainable", n); }
    void OpenField(std::string t) override { Owner("OpenField", t); }
    void CreateObject(std::string t) override { Owner("CreateObject", t); }
    void CallObject(std::string t) override { Owner("CallObject", t); }
    void ReleaseObject(int32_t n) override { Owner("ReleaseObject", n); }
    void BringToForeground() override { Add("owner BringToForeground"); }
    void NewWindow(int32_t n) override { Owner("NewWindow", n); }
    void Tamsel(std::string t) override { Owner("Tamsel", t); }
    void SetBillingServer(int32_t n) override { Owner("SetBillingServer", n); }
    void PrintHostFile(std::string t) override {
        Owner("PrintHostFile", t);
        if (m_screen != nullptr) {
            Add(std::string("painting during print: ") + (m_screen->PaintingOn() ? "on" : "off"));
        }
    }
    void ApplicationUserChanged(std::string t) override { Owner("ApplicationUserChanged", t); }

    // Observes `screen` where a test wants the owner to look at it during a call.
    void Watch(const CTerminalScreen* screen) { m_screen = screen; }

    std::vector<std::string> Events() const {
        std::vector<std::string> out;
        for (const Event& e : m_events) {
            out.push_back(Render(e));
        }
        return out;
    }
    std::string Log() const {
        std::string out;
        for (const Event& e : m_events) {
            out += Render(e);
            out += '\n';
        }
        return out;
    }
    // Only the owner calls and replies, without painting.
    std::vector<std::string> OwnerCalls() const {
        std::vector<std::string> out;
        for (const Event& e : m_events) {
            if (!e.text &&
                (e.line.rfind("owner ", 0) == 0 || e.line.rfind("reply ", 0) == 0 || e.line == "beep")) {
                out.push_back(e.line);
            }
        }
        return out;
    }
    void Clear() { m_events.clear(); }

  private:
    struct Event {
        bool text = false;
        int32_t row = 0;
        int32_t column = 0;
        std::string bytes;
        Colour foreground = 0;
        Colour background = 0;
        std::pair<int32_t, int32_t> pixel;
        std::string line;
    };

    static std::string Render(const Event& e) {
        if (!e.text) {
            return e.line;
        }
        return "text " + std::to_string(e.row) + "," + std::to_string(e.column) + " @" +
               std::to_string(e.pixel.first) + "," + std::to_string(e.pixel.second) + " \"" +
               Escape(e.bytes) + "\" " + Colours(e.foreground, e.background);
    }
    void Add(std::string line) {
        Event e;
        e.line = std::move(line);
        m_events.push_back(std::move(e));
    }
    void Owner(const char* name, const std::string& text) {
        Add(std::string("owner ") + name + " \"" + Escape(text) + "\"");
    }
    void Owner(const char* name, int32_t n) { Add(std::string("owner ") + name + " " + std::to_string(n)); }

    std::vector<Event> m_events;
    const CTerminalScreen* m_screen = nullptr;
};

// The screen's state as text: cursor and flags, current colours, the 25 rows (trailing blanks dropped) and
// the colour runs of every row that is not plain white on navy.
inline std::string DumpScreen(const CTerminalScreen& screen) {
    std::string out;
    const CellPosition cursor = screen.GetCursor();
    out += "cursor " + std::to_string(cursor.row) + "," + std::to_string(cursor.column) +
           " shown=" + std::to_string(screen.CursorShown()) +
           " painting=" + std::to_string(screen.PaintingOn()) +
           " toolbar=" + std::to_string(screen.CurrentToolbar()) +
           " held=" + std::to_string(screen.BufferedCount()) + " digest=\"" +
           Escape(screen.ExpectedDigest()) + "\"\n";
    out += "current " + Colours(screen.CurrentForeground(), screen.CurrentBackground()) +
           " clear=" + ColourName(screen.ClearColour()) + "\n";
    for (int32_t row = 0; row < kScreenRows; ++row) {
        std::string text = screen.CopyCells(row * kScreenColumns, kScreenColumns);
        text.erase(text.find_last_not_of(' ') + 1);
        char label[8];
        std::snprintf(label, sizeof label, "%02d |", row);
        out += label + Escape(text) + "\n";
    }
    for (int32_t row = 0; row < kScreenRows; ++row) {
        std::string runs;
        bool plain = true;
        int32_t start = 0;
        for (int32_t column = 1; column <= kScreenColumns; ++column) {
            if (column == kScreenColumns ||
                screen.ForegroundAt(row, column) != screen.ForegroundAt(row, start) ||
                screen.BackgroundAt(row, column) != screen.BackgroundAt(row, start)) {
                const Colour f = screen.ForegroundAt(row, start);
                const Colour b = screen.BackgroundAt(row, start);
                if (f != kInitialForeground || b != kInitialBackground) {
                    plain = false;
                }
                runs += " " + std::to_string(start) + "-" + std::to_string(column - 1) + " " + Colours(f, b);
                start = column;
            }
        }
        if (!plain) {
            char label[16];
            std::snprintf(label, sizeof label, "colours %02d:", row);
            out += label + runs + "\n";
        }
    }
    return out;
}

// A screen with a recorder attached and the geometry the tests draw at: 8 x 16 cells in a 700 x 500 window
// with the frame.
struct RecordedScreen {
    CTerminalScreen screen;
    ScreenRecorder recorder;
    RecordedScreen() {
        screen.SetOwner(&recorder);
        screen.SetPainter(&recorder);
        recorder.Watch(&screen);
        screen.SetCellSize(8, 16);
        screen.Resize(700, 500);
        screen.Layout(8, 16);
    }
    void Feed(std::string_view bytes) { screen.Feed(bytes); }
    std::string Row(int32_t row) const { return screen.CopyCells(row * kScreenColumns, kScreenColumns); }
};

}  // namespace terminal::testing
