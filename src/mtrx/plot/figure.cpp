// src/mtrx/plot/figure.cpp: the figure model: figures and axes of a session,
// line formats, colours, colormaps and round ticks.
#include "plot/figure.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace mtrx::plot {

void Axes::Reset() {
    Axes fresh;
    fresh.grid_rows = grid_rows;
    fresh.grid_cols = grid_cols;
    fresh.cell = cell;
    *this = std::move(fresh);
}

Figure &FigureSet::Current() {
    if (m_current == 0 || !Has(m_current)) return Select(m_figures.empty() ? 1 : m_figures.begin()->first);
    return m_figures[m_current];
}

Figure &FigureSet::Select(int number) {
    Figure &f = m_figures[number];
    f.number = number;
    if (f.colormap.empty()) f.colormap = NamedColormap("viridis", 256);
    m_current = number;
    return f;
}

Figure &FigureSet::New() {
    int number = 1;
    while (Has(number)) ++number;
    return Select(number);
}

Axes &FigureSet::CurrentAxes() {
    Figure &f = Current();
    f.unsaved = true;
    if (f.axes.empty()) {
        f.axes.emplace_back();
        f.current = 0;
    }
    return f.axes[f.current];
}

Axes &FigureSet::Subplot(unsigned int m, unsigned int n, unsigned int k) {
    Figure &f = Current();
    f.unsaved = true;
    for (std::size_t i = 0; i < f.axes.size(); ++i)
        if (f.axes[i].grid_rows == m && f.axes[i].grid_cols == n && f.axes[i].cell == k) {
            f.current = i;
            return f.axes[i];
        }
    // An axes of another grid that overlaps the new cell goes, as it would
    // be hidden under it.
    const auto span = [](const Axes &a) {
        const double w = 1.0 / a.grid_cols, h = 1.0 / a.grid_rows;
        const unsigned int c = (a.cell - 1) % a.grid_cols, r = (a.cell - 1) / a.grid_cols;
        return std::vector<double>{c * w, (c + 1) * w, r * h, (r + 1) * h};
    };
    Axes fresh;
    fresh.grid_rows = m;
    fresh.grid_cols = n;
    fresh.cell = k;
    const std::vector<double> s = span(fresh);
    constexpr double kSlack = 1e-9;
    f.axes.erase(std::remove_if(f.axes.begin(), f.axes.end(),
                                [&](const Axes &a) {
                                    const std::vector<double> t = span(a);
                                    return t[0] < s[1] - kSlack && s[0] < t[1] - kSlack &&
                                           t[2] < s[3] - kSlack && s[2] < t[3] - kSlack;
                                }),
                 f.axes.end());
    f.axes.push_back(std::move(fresh));
    f.current = f.axes.size() - 1;
    return f.axes.back();
}

Figure *FigureSet::Find(int number) {
    const auto it = m_figures.find(number);
    return it == m_figures.end() ? nullptr : &it->second;
}

void FigureSet::Close(int number) {
    m_figures.erase(number);
    if (m_current == number) m_current = m_figures.empty() ? 0 : m_figures.rbegin()->first;
}

void FigureSet::CloseAll() {
    m_figures.clear();
    m_current = 0;
}

std::vector<Figure *> FigureSet::All() {
    std::vector<Figure *> out;
    for (auto &entry : m_figures) out.push_back(&entry.second);
    return out;
}

Series *FigureSet::FindSeries(double handle) {
    for (auto &entry : m_figures)
        for (Axes &a : entry.second.axes)
            for (Series &s : a.series)
                if (s.handle == handle) return &s;
    return nullptr;
}

std::optional<Color> NamedColor(const std::string &name) {
    static const struct {
        const char *letter, *word;
        Color color;
    } kColors[] = {
        {"r", "red", {1, 0, 0}},    {"g", "green", {0, 1, 0}},   {"b", "blue", {0, 0, 1}},
        {"c", "cyan", {0, 1, 1}},   {"m", "magenta", {1, 0, 1}}, {"y", "yellow", {1, 1, 0}},
        {"k", "black", {0, 0, 0}},  {"w", "white", {1, 1, 1}},
    };
    std::string lower;
    for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto &c : kColors)
        if (lower == c.letter || lower == c.word) return c.color;
    return std::nullopt;
}

std::optional<LineFormat> ParseLineFormat(const std::string &text) {
    if (text.empty()) return std::nullopt;
    LineFormat fmt;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        // Two-character styles first, so that "-." is not "-" and a point.
        if (text.compare(i, 2, "--") == 0 || text.compare(i, 2, "-.") == 0) {
            if (fmt.line_style) return std::nullopt;
            fmt.line_style = text.substr(i, 2);
            i += 2;
        } else if (c == '-' || c == ':') {
            if (fmt.line_style) return std::nullopt;
            fmt.line_style = std::string(1, c);
            ++i;
        } else if (std::string("rgbcmykw").find(c) != std::string::npos) {
            if (fmt.color) return std::nullopt;
            fmt.color = NamedColor(std::string(1, c));
            ++i;
        } else if (std::string("o+*.xsd^v<>ph").find(c) != std::string::npos) {
            if (fmt.marker != 0) return std::nullopt;
            fmt.marker = c;
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return fmt;
}

Color OrderColor(std::size_t k) {
    // Distinct hues first (blue, orange, green, red, purple, brown, pink):
    // successive lines stay apart also for readers with weak colour vision.
    static const Color kOrder[] = {
        {0.122, 0.467, 0.706}, {1.000, 0.498, 0.055}, {0.173, 0.627, 0.173},
        {0.839, 0.153, 0.157}, {0.580, 0.404, 0.741}, {0.549, 0.337, 0.294},
        {0.890, 0.467, 0.761},
    };
    return kOrder[k % std::size(kOrder)];
}

namespace {

// Linear interpolation through equally spaced key colours.
std::vector<Color> Through(const std::vector<Color> &keys, std::size_t n) {
    std::vector<Color> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = n == 1 ? 0 : static_cast<double>(i) / static_cast<double>(n - 1);
        const double at = t * static_cast<double>(keys.size() - 1);
        const std::size_t j = std::min(static_cast<std::size_t>(at), keys.size() - 2);
        const double f = at - static_cast<double>(j);
        out[i] = {keys[j].r + f * (keys[j + 1].r - keys[j].r),
                  keys[j].g + f * (keys[j + 1].g - keys[j].g),
                  keys[j].b + f * (keys[j + 1].b - keys[j].b)};
    }
    return out;
}

Color Hex(unsigned int rgb) {
    return {((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0};
}

}  // namespace

std::vector<Color> NamedColormap(const std::string &name, std::size_t n) {
    if (name == "viridis") {
        // Perceptually uniform: the published viridis at eighths of its range.
        return Through({Hex(0x440154), Hex(0x472d7b), Hex(0x3b528b), Hex(0x2c728e), Hex(0x21918c),
                        Hex(0x28ae80), Hex(0x5ec962), Hex(0xaddc30), Hex(0xfde725)},
                       n);
    }
    if (name == "gray") return Through({{0, 0, 0}, {1, 1, 1}}, n);
    if (name == "hot")
        return Through({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}}, n);
    if (name == "cool") return Through({{0, 1, 1}, {1, 0, 1}}, n);
    if (name == "jet")
        return Through({{0, 0, 0.5}, {0, 0, 1}, {0, 0.5, 1}, {0, 1, 1}, {0.5, 1, 0.5}, {1, 1, 0},
                        {1, 0.5, 0}, {1, 0, 0}, {0.5, 0, 0}},
                       n);
    return {};
}

std::vector<double> NiceTicks(double lo, double hi, int most) {
    const double span = hi - lo;
    const double raw = span / std::max(1, most - 1);
    if (!(raw > 0) || !std::isfinite(raw) || !std::isfinite(lo)) return {lo, hi};
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    if (!(power > 0)) return {lo, hi};
    double step = power;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        step = m * power;
        if (step >= raw) break;
    }
    std::vector<double> ticks;
    const double first = std::ceil(lo / step - 1e-9);
    for (double k = first;; k += 1) {
        double t = k * step;
        if (t > hi + step * 1e-9 || ticks.size() > 100) break;
        if (std::fabs(t) < step * 1e-9) t = 0;
        ticks.push_back(t);
    }
    return ticks;
}

void NiceLimits(double &lo, double &hi) {
    if (!(hi > lo)) {
        // One value: a unit around it, scaled to its size.
        const double d = lo == 0 ? 1 : std::fabs(lo) * 0.1;
        lo -= d;
        hi += d;
    }
    if (!std::isfinite(hi - lo)) return;
    const std::vector<double> t = NiceTicks(lo, hi);
    if (t.size() < 2) return;
    const double step = t[1] - t[0];
    lo = std::floor(lo / step + 1e-9) * step;
    hi = std::ceil(hi / step - 1e-9) * step;
}

}  // namespace mtrx::plot
