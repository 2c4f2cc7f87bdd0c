// src/mtrx/lib/plot_figures.cpp: figures and axes (figure, subplot, hold,
// title, legend, axis, ...), colormaps, and writing figures out (print,
// saveas, exportgraphics, and the unsaved ones at the end of a run).
#include "lib/options.h"
#include "lib/plots.h"

#include "evaluator.h"
#include "plot/render.h"
#include "text.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace mtrx {

namespace km = kiv::matrix;

plot::FigureSet &FiguresOf(BuiltinCall &c) { return c.evaluator.Figures(); }

std::vector<double> Numbers(const Args &args, std::size_t k) {
    if (!args[k].IsArray() || args.IsText(k)) args.Refuse(k, "numeric");
    double x;
    if (args[k].RealScalar(x)) return {x};
    const Array &a = args.GetArray(k);
    if (IsCell(a) || IsChar(a)) args.Refuse(k, "numeric");
    Array d = a;
    if (IsComplex(d)) d = Array::Adopt(km::Real(d.get()));
    if (!IsDouble(d)) d = Array::Adopt(km::Cast(d.get(), km::mxClassDouble));
    return d.ToVector();
}

namespace {

double PositiveNumber(const Value &value, const std::string &name, const std::string &property) {
    double x;
    if (!value.RealScalar(x) || !(x > 0) || !std::isfinite(x))
        throw Error("'" + name + "': " + property + " must be a positive number");
    return x;
}

std::string TextOf(const Value &value, const std::string &name, const std::string &property) {
    if (IsStringScalar(value)) return value.strings().items[0];
    if (!IsText(value)) throw Error("'" + name + "': " + property + " must be text");
    return Text(value.array());
}

}  // namespace

plot::Color ColorValue(const Value &value, const std::string &name) {
    if (IsText(value)) {
        if (auto color = plot::NamedColor(Text(value.array()))) return *color;
        throw Error("'" + name + "': unknown colour '" + Text(value.array()) + "'");
    }
    if (value.IsArray()) {
        const Array &a = value.array();
        if (a.Numel() == 3 && IsDouble(a) && !IsComplex(a)) {
            const std::vector<double> v = a.ToVector();
            if (std::all_of(v.begin(), v.end(), [](double t) { return t >= 0 && t <= 1; }))
                return {v[0], v[1], v[2]};
        }
    }
    throw Error("'" + name + "': a colour must be a name or three numbers from 0 to 1");
}

void SetSeriesProperty(plot::Series &s, const std::string &property, const Value &value,
                       const std::string &name) {
    const std::string p = LowerWord(property);
    if (p == "linewidth") {
        s.line_width = PositiveNumber(value, name, "LineWidth");
    } else if (p == "markersize") {
        s.marker_size = PositiveNumber(value, name, "MarkerSize");
    } else if (p == "displayname") {
        s.name = TextOf(value, name, "DisplayName");
    } else if (p == "color" || p == "facecolor" || p == "markerfacecolor" || p == "markeredgecolor" ||
               p == "edgecolor") {
        if (IsText(value) && (Text(value.array()) == "none" || Text(value.array()) == "flat" ||
                              Text(value.array()) == "auto"))
            return;
        if (p == "edgecolor" || p == "markeredgecolor") {
            ColorValue(value, name);
            return;
        }
        s.color = ColorValue(value, name);
        s.color_set = true;
        if (p == "markerfacecolor") s.filled_marker = true;
    } else if (p == "linestyle") {
        const std::string style = TextOf(value, name, "LineStyle");
        if (style != "-" && style != "--" && style != ":" && style != "-." && style != "none")
            throw Error("'" + name + "': LineStyle must be '-', '--', ':', '-.' or 'none'");
        s.line_style = style;
    } else if (p == "marker") {
        const std::string marker = TextOf(value, name, "Marker");
        if (marker == "none") {
            s.marker = 0;
        } else {
            const auto fmt = plot::ParseLineFormat(marker);
            if (marker.size() != 1 || !fmt || fmt->marker == 0)
                throw Error("'" + name + "': unknown marker '" + marker + "'");
            s.marker = fmt->marker;
        }
    } else if (p == "barwidth") {
        s.bar_width = PositiveNumber(value, name, "BarWidth");
    } else {
        throw Error("'" + name + "': unknown property '" + property + "'");
    }
}

void ApplyPairs(const Args &args, std::size_t first, std::vector<plot::Series> &series) {
    if ((args.size() - first) % 2 != 0)
        throw Error("'" + args.Name() + "': properties must come in name-value pairs");
    for (std::size_t k = first; k < args.size(); k += 2) {
        if (!args.IsText(k)) args.Refuse(k, "a property name");
        const std::string property = args.GetText(k);
        for (plot::Series &s : series) SetSeriesProperty(s, property, args[k + 1], args.Name());
        if (series.empty()) {
            plot::Series probe;
            SetSeriesProperty(probe, property, args[k + 1], args.Name());
        }
    }
}

Value Handles(const std::vector<double> &handles) {
    if (handles.size() == 1) return Value(handles[0]);
    return Value(Array(handles));
}

namespace {

// A figure number: a whole number from 1 up.
int FigureNumber(const Args &args, std::size_t k) {
    const double x = args.GetScalar(k);
    if (!(x >= 1 && x <= 2147483647.0 && x == std::floor(x))) args.Refuse(k, "a figure number from 1 up");
    return static_cast<int>(x);
}

// An existing figure named by argument k.
plot::Figure &ExistingFigure(const Args &args, std::size_t k, BuiltinCall &c) {
    const int n = FigureNumber(args, k);
    plot::Figure *f = FiguresOf(c).Find(n);
    if (f == nullptr) throw Error("'" + c.name + "': there is no figure " + std::to_string(n));
    return *f;
}

Outs Figure(const Args &args, BuiltinCall &c) {
    plot::FigureSet &set = FiguresOf(c);
    std::size_t pairs = 0;
    plot::Figure *f;
    if (!args.empty() && !args.IsText(0)) {
        f = &set.Select(FigureNumber(args, 0));
        pairs = 1;
    } else {
        f = &set.New();
    }
    // Window properties ('Name', 'Visible', ...) mean nothing for pictures
    // written to files: they are accepted in pairs.
    if ((args.size() - pairs) % 2 != 0) throw Error("'figure': properties must come in name-value pairs");
    for (std::size_t k = pairs; k < args.size(); k += 2)
        if (!args.IsText(k)) args.Refuse(k, "a property name");
    if (c.nargout == 0) return {};
    return {Value(static_cast<double>(f->number))};
}

Outs Gcf(const Args &, BuiltinCall &c) { return {Value(static_cast<double>(FiguresOf(c).Current().number))}; }

Outs Subplot(const Args &args, BuiltinCall &c) {
    unsigned int m, n, k;
    if (args.size() == 1) {
        // subplot(mnk): three digits.
        const int code = args.GetWhole(0);
        if (code < 111 || code > 999) args.Refuse(0, "three digits m, n, k");
        m = static_cast<unsigned int>(code / 100);
        n = static_cast<unsigned int>(code / 10 % 10);
        k = static_cast<unsigned int>(code % 10);
    } else if (args.size() == 3) {
        m = args.GetPositive(0);
        n = args.GetPositive(1);
        k = args.GetPositive(2);
    } else {
        throw Error("'subplot' takes (m, n, k) or (mnk)");
    }
    if (m > 100 || n > 100) throw Error("'subplot': at most 100 rows and 100 columns");
    if (k < 1 || k > m * n)
        throw Error("'subplot': index " + std::to_string(k) + " is out of range for a " + std::to_string(m) +
                    "x" + std::to_string(n) + " grid (1 to " + std::to_string(m * n) + ")");
    FiguresOf(c).Subplot(m, n, k);
    return {};
}

// The word of argument k, 'on' (or 'all') or 'off'; nullopt without one (a
// toggle). Refused before any figure is made.
std::optional<bool> OnOff(const Args &args, std::size_t k) {
    if (!args.Has(k)) return std::nullopt;
    const std::string word = args.IsText(k) ? LowerWord(args.GetText(k)) : std::string();
    if (word == "on" || word == "all") return true;
    if (word == "off") return false;
    args.Refuse(k, "'on' or 'off'");
}

Outs Hold(const Args &args, BuiltinCall &c) {
    const std::optional<bool> on = OnOff(args, 0);
    plot::Axes &a = FiguresOf(c).CurrentAxes();
    a.hold = on.value_or(!a.hold);
    return {};
}

Outs Grid(const Args &args, BuiltinCall &c) {
    const bool minor = args.size() == 1 && args.IsText(0) && LowerWord(args.GetText(0)) == "minor";
    const std::optional<bool> on = minor ? std::optional<bool>(true) : OnOff(args, 0);
    plot::Axes &a = FiguresOf(c).CurrentAxes();
    a.grid = on.value_or(!a.grid);
    return {};
}

Outs Clf(const Args &args, BuiltinCall &c) {
    if (args.size() == 1 && (!args.IsText(0) || args.GetText(0) != "reset")) args.Refuse(0, "'reset'");
    plot::Figure &f = FiguresOf(c).Current();
    f.axes.clear();
    f.current = 0;
    f.unsaved = true;
    return {};
}

Outs Close(const Args &args, BuiltinCall &c) {
    plot::FigureSet &set = FiguresOf(c);
    if (args.empty()) {
        if (!set.Empty()) set.Close(set.Current().number);
        return {};
    }
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (args.IsText(k)) {
            if (LowerWord(args.GetText(k)) != "all") args.Refuse(k, "'all' or a figure number");
            set.CloseAll();
            continue;
        }
        for (double x : Numbers(args, k)) {
            if (!(x >= 1 && x == std::floor(x) && x <= 2147483647.0)) args.Refuse(k, "figure numbers");
            set.Close(static_cast<int>(x));
        }
    }
    return {};
}

// title, xlabel, ylabel, zlabel: the text, then text properties, which
// pictures take from the figure's font.
Outs Label(const Args &args, BuiltinCall &c) {
    std::string text;
    if (args.IsText(0)) {
        text = args.GetText(0);
    } else if (args[0].IsCell()) {
        // Lines of a cell: joined, as PLplot draws one line.
        for (const Value &line : args[0].cell().items) {
            if (!IsText(line)) args.Refuse(0, "text or a cell of text");
            text += (text.empty() ? "" : " ") + Text(line.array());
        }
    } else {
        args.Refuse(0, "text");
    }
    if ((args.size() - 1) % 2 != 0) throw Error("'" + c.name + "': properties must come in name-value pairs");
    static const char *const kTextProperties[] = {"fontsize", "fontweight", "fontname", "color",
                                                  "interpreter", "fontangle", "horizontalalignment"};
    for (std::size_t k = 1; k < args.size(); k += 2) {
        const std::string p = args.IsText(k) ? LowerWord(args.GetText(k)) : std::string();
        if (std::find(std::begin(kTextProperties), std::end(kTextProperties), p) == std::end(kTextProperties))
            throw Error("'" + c.name + "': unknown property '" + (args.IsText(k) ? args.GetText(k) : p) + "'");
    }
    plot::Axes &a = FiguresOf(c).CurrentAxes();
    (c.name == "title" ? a.title : c.name == "xlabel" ? a.xlabel : c.name == "ylabel" ? a.ylabel : a.zlabel) =
        text;
    return {};
}

plot::LegendPlace PlaceOf(const std::string &word, const Args &args, std::size_t k) {
    const std::string w = LowerWord(word);
    if (w == "best") return plot::LegendPlace::kBest;
    if (w == "northeast") return plot::LegendPlace::kNorthEast;
    if (w == "northwest") return plot::LegendPlace::kNorthWest;
    if (w == "southeast") return plot::LegendPlace::kSouthEast;
    if (w == "southwest") return plot::LegendPlace::kSouthWest;
    if (w == "northeastoutside" || w == "eastoutside" || w == "bestoutside") return plot::LegendPlace::kOutside;
    args.Refuse(k, "a location: best, northeast, northwest, southeast, southwest or northeastoutside");
}

Outs Legend(const Args &args, BuiltinCall &c) {
    std::vector<std::string> labels;
    std::optional<plot::LegendPlace> place;
    bool off = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (args[k].IsCell()) {
            for (const Value &v : args[k].cell().items) {
                if (!IsText(v)) args.Refuse(k, "a cell of text");
                labels.push_back(Text(v.array()));
            }
            continue;
        }
        if (!args.IsText(k)) args.Refuse(k, "text");
        const std::string word = args.GetText(k);
        const std::string w = LowerWord(word);
        if (w == "location" && args.Has(k + 1)) {
            if (!args.IsText(k + 1)) args.Refuse(k + 1, "a location");
            place = PlaceOf(args.GetText(k + 1), args, k + 1);
            ++k;
        } else if (w == "off" || w == "hide") {
            off = true;
        } else if (w == "show" || w == "boxoff" || w == "boxon") {
        } else if (w == "orientation" || w == "fontsize" || w == "box" || w == "numcolumns") {
            if (!args.Has(k + 1)) throw Error("'legend': " + word + " needs a value");
            ++k;
        } else {
            labels.push_back(word);
        }
    }
    plot::Axes &a = FiguresOf(c).CurrentAxes();
    if (off) {
        a.legend = false;
        return {};
    }
    // Labels name the series in order; series without one keep a name
    // they had, or get dataN.
    std::size_t next = 0, unnamed = 0;
    for (plot::Series &s : a.series) {
        if (s.kind == plot::Kind::kText) continue;
        ++unnamed;
        if (next < labels.size())
            s.name = labels[next++];
        else if (s.name.empty() && labels.empty())
            s.name = "data" + std::to_string(unnamed);
    }
    a.legend = true;
    if (place) a.legend_place = *place;
    return {};
}

void SetAxis(const Args &args, plot::Axes &a, BuiltinCall &) {
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (!args.IsText(k)) {
            const std::vector<double> v = Numbers(args, k);
            if (v.size() != 4 && v.size() != 6) args.Refuse(k, "[xmin xmax ymin ymax]");
            for (std::size_t i = 0; i < v.size(); i += 2)
                if (!(v[i] < v[i + 1])) args.Refuse(k, "limits with each minimum below its maximum");
            a.xlim = std::vector<double>{v[0], v[1]};
            a.ylim = std::vector<double>{v[2], v[3]};
            if (v.size() == 6) a.zlim = std::vector<double>{v[4], v[5]};
            continue;
        }
        const std::string w = LowerWord(args.GetText(k));
        if (w == "equal" || w == "image") {
            a.equal = true;
            a.square = false;
            if (w == "image") a.tight = true;
        } else if (w == "square") {
            a.square = true;
            a.equal = false;
        } else if (w == "normal") {
            a.square = a.equal = false;
        } else if (w == "tight") {
            a.tight = true;
            a.xlim.reset();
            a.ylim.reset();
        } else if (w == "auto") {
            a.tight = false;
            a.xlim.reset();
            a.ylim.reset();
            a.zlim.reset();
        } else if (w == "off") {
            a.visible = false;
        } else if (w == "on") {
            a.visible = true;
        } else if (w == "ij") {
            a.y_down = true;
        } else if (w == "xy") {
            a.y_down = false;
        } else {
            args.Refuse(k, "limits or one of equal, tight, square, normal, auto, off, on, ij, xy");
        }
    }
    return;
}

// xlim, ylim, zlim.
void SetLimit(const Args &args, plot::Axes &a, BuiltinCall &c) {
    std::optional<std::vector<double>> &lim = c.name == "xlim" ? a.xlim : c.name == "ylim" ? a.ylim : a.zlim;
    if (args.IsText(0)) {
        if (LowerWord(args.GetText(0)) != "auto") args.Refuse(0, "two limits or 'auto'");
        lim.reset();
        return;
    }
    const std::vector<double> v = Numbers(args, 0);
    if (v.size() != 2 || !(v[0] < v[1])) args.Refuse(0, "two increasing limits");
    lim = v;
    return;
}

// xticks, yticks.
void SetTicks(const Args &args, plot::Axes &a, BuiltinCall &c) {
    std::optional<std::vector<double>> &ticks = c.name == "xticks" ? a.xticks : a.yticks;
    if (args.IsText(0)) {
        if (LowerWord(args.GetText(0)) != "auto") args.Refuse(0, "tick positions or 'auto'");
        ticks.reset();
        return;
    }
    std::vector<double> v = Numbers(args, 0);
    for (std::size_t i = 1; i < v.size(); ++i)
        if (!(v[i] > v[i - 1])) args.Refuse(0, "increasing tick positions");
    ticks = std::move(v);
    return;
}

Outs TextBuiltin(const Args &args, BuiltinCall &c) {
    const std::vector<double> x = Numbers(args, 0), y = Numbers(args, 1);
    if (x.size() != 1 || y.size() != 1) throw Error("'text': the position must be two numbers");
    if (!args.IsText(2)) args.Refuse(2, "text");
    plot::Series s;
    s.kind = plot::Kind::kText;
    s.x = x;
    s.y = y;
    s.text = args.GetText(2);
    s.color = {0.15, 0.15, 0.15};
    if ((args.size() - 3) % 2 != 0) throw Error("'text': properties must come in name-value pairs");
    for (std::size_t k = 3; k < args.size(); k += 2) {
        const std::string p = args.IsText(k) ? LowerWord(args.GetText(k)) : std::string();
        if (p == "color")
            s.color = ColorValue(args[k + 1], "text");
        else if (p != "fontsize" && p != "fontweight" && p != "horizontalalignment" && p != "interpreter")
            throw Error("'text': unknown property '" + (args.IsText(k) ? args.GetText(k) : p) + "'");
    }
    plot::Axes &a = FiguresOf(c).CurrentAxes();
    s.handle = FiguresOf(c).NextHandle();
    a.series.push_back(s);
    if (c.nargout == 0) return {};
    return {Value(s.handle)};
}

void SetColorbar(const Args &args, plot::Axes &a, BuiltinCall &) {
    a.colorbar = !(args.size() == 1 && args.IsText(0) && LowerWord(args.GetText(0)) == "off");
    if (args.size() == 1 && !(args.IsText(0) && (LowerWord(args.GetText(0)) == "off" || LowerWord(args.GetText(0)) == "on")))
        args.Refuse(0, "'on' or 'off'");
    return;
}

Array ColormapArray(const std::vector<plot::Color> &map) {
    std::vector<double> v(map.size() * 3);
    for (std::size_t i = 0; i < map.size(); ++i) {
        v[i] = map[i].r;
        v[i + map.size()] = map[i].g;
        v[i + 2 * map.size()] = map[i].b;
    }
    return Array(static_cast<unsigned int>(map.size()), 3, v);
}

Outs Colormap(const Args &args, BuiltinCall &c) {
    plot::Figure &f = FiguresOf(c).Current();
    if (args.empty()) return {Value(ColormapArray(f.colormap))};
    std::vector<plot::Color> map;
    if (args.IsText(0)) {
        const std::string name = LowerWord(args.GetText(0));
        map = plot::NamedColormap(name == "default" ? "viridis" : name, 256);
        if (map.empty()) args.Refuse(0, "a colormap: viridis, gray, jet, hot, cool, or an m x 3 matrix");
    } else {
        const Array &m = args.GetArray(0);
        const std::vector<double> v = Numbers(args, 0);
        if (m.Cols() != 3 || m.Rows() == 0 || m.NDims() > 2 ||
            !std::all_of(v.begin(), v.end(), [](double t) { return t >= 0 && t <= 1; }))
            args.Refuse(0, "an m x 3 matrix of numbers from 0 to 1");
        const std::size_t n = m.Rows();
        for (std::size_t i = 0; i < n; ++i) map.push_back({v[i], v[i + n], v[i + 2 * n]});
    }
    f.colormap = std::move(map);
    f.unsaved = true;
    if (c.nargout == 0) return {};
    return {Value(ColormapArray(f.colormap))};
}

// viridis(n), gray(n), jet(n), hot(n), cool(n): n x 3 colormaps.
Outs ColormapFunction(const Args &args, BuiltinCall &c) {
    const unsigned int n = args.Has(0) ? args.GetLength(0) : 256;
    if (n > 65536) args.Refuse(0, "a number of colours up to 65536");
    return {Value(ColormapArray(plot::NamedColormap(c.name, n)))};
}

void SetView(const Args &args, plot::Axes &a, BuiltinCall &) {
    const std::vector<double> v = Numbers(args, 0);
    if (args.size() == 2) {
        const double el = args.GetScalar(1);
        if (v.size() != 1 || !std::isfinite(v[0]) || !std::isfinite(el)) throw Error("'view': angles must be finite numbers");
        a.azimuth = v[0];
        a.elevation = el;
    } else if (v.size() == 1 && (v[0] == 2 || v[0] == 3)) {
        a.azimuth = v[0] == 2 ? 0 : -37.5;
        a.elevation = v[0] == 2 ? 90 : 30;
    } else if (v.size() == 2 && std::isfinite(v[0]) && std::isfinite(v[1])) {
        a.azimuth = v[0];
        a.elevation = v[1];
    } else {
        args.Refuse(0, "2, 3 or [azimuth elevation]");
    }
    return;
}

// The format of a file name's extension, if it has a known one.
std::optional<plot::Format> FormatOf(const std::string &path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return std::nullopt;
    const std::string ext = LowerWord(path.substr(dot + 1));
    if (ext == "png") return plot::Format::kPng;
    if (ext == "svg") return plot::Format::kSvg;
    if (ext == "pdf") return plot::Format::kPdf;
    return std::nullopt;
}

const char *Extension(plot::Format format) {
    return format == plot::Format::kPng ? ".png" : format == plot::Format::kSvg ? ".svg" : ".pdf";
}

void Write(plot::Figure &f, const std::string &path, plot::Format format, double dpi, const std::string &who) {
    if (path.empty()) throw Error("'" + who + "' needs a file name, not an empty text");
    try {
        plot::Render(f, path, format, dpi);
    } catch (const std::runtime_error &e) {
        throw Error("'" + who + "': " + e.what());
    }
    f.unsaved = false;
}

Outs Print(const Args &args, BuiltinCall &c) {
    std::optional<plot::Format> format;
    std::string path;
    double dpi = 100;
    plot::Figure *f = nullptr;
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (!args.IsText(k)) {
            if (k != 0) args.Refuse(k, "text");
            f = &ExistingFigure(args, k, c);
            continue;
        }
        const std::string word = args.GetText(k);
        if (word.rfind("-d", 0) == 0) {
            const std::string d = LowerWord(word.substr(2));
            if (d == "png")
                format = plot::Format::kPng;
            else if (d == "svg")
                format = plot::Format::kSvg;
            else if (d == "pdf")
                format = plot::Format::kPdf;
            else
                throw Error("'print': unknown format '" + word + "' (use -dpng, -dsvg or -dpdf)");
        } else if (word.rfind("-r", 0) == 0) {
            char *end = nullptr;
            dpi = std::strtod(word.c_str() + 2, &end);
            if (*end != '\0' || !(dpi >= 10 && dpi <= 1200))
                throw Error("'print': the resolution '" + word + "' must be -rN with N from 10 to 1200");
        } else if (word.rfind("-f", 0) == 0 && word.size() > 2) {
            const int n = std::atoi(word.c_str() + 2);
            f = FiguresOf(c).Find(n);
            if (f == nullptr) throw Error("'print': there is no figure '" + word.substr(2) + "'");
        } else if (!word.empty() && word[0] == '-') {
            throw Error("'print': unknown option '" + word + "'");
        } else {
            if (!path.empty()) throw Error("'print': one file name only");
            path = word;
        }
    }
    if (path.empty()) throw Error("'print' needs a file name");
    if (!format) format = FormatOf(path).value_or(plot::Format::kPng);
    if (!FormatOf(path)) path += Extension(*format);
    if (f == nullptr) f = &FiguresOf(c).Current();
    Write(*f, path, *format, dpi, "print");
    return {};
}

Outs Saveas(const Args &args, BuiltinCall &c) {
    plot::Figure &f = ExistingFigure(args, 0, c);
    std::string path = args.GetText(1);
    std::optional<plot::Format> format = FormatOf(path);
    if (args.Has(2)) {
        const std::string fmt = LowerWord(args.GetText(2));
        format = fmt == "png" ? plot::Format::kPng
                 : fmt == "svg" ? plot::Format::kSvg
                 : fmt == "pdf" ? plot::Format::kPdf
                                : (args.Refuse(2, "png, svg or pdf"), plot::Format::kPng);
        if (!FormatOf(path)) path += Extension(*format);
    }
    if (!format) throw Error("'saveas': cannot tell the format of '" + path + "' (use .png, .svg or .pdf)");
    Write(f, path, *format, 100, "saveas");
    return {};
}

Outs Exportgraphics(const Args &args, BuiltinCall &c) {
    plot::Figure &f = ExistingFigure(args, 0, c);
    const std::string path = args.GetText(1);
    double dpi = 150;
    if ((args.size() - 2) % 2 != 0) throw Error("'exportgraphics': properties must come in name-value pairs");
    for (std::size_t k = 2; k < args.size(); k += 2) {
        const std::string p = args.IsText(k) ? LowerWord(args.GetText(k)) : std::string();
        if (p == "resolution") {
            dpi = args.GetScalar(k + 1);
            if (!(dpi >= 10 && dpi <= 1200)) args.Refuse(k + 1, "a resolution from 10 to 1200");
        } else if (p != "backgroundcolor" && p != "contenttype") {
            throw Error("'exportgraphics': unknown property '" + (args.IsText(k) ? args.GetText(k) : p) + "'");
        }
    }
    const std::optional<plot::Format> format = FormatOf(path);
    if (!format) throw Error("'exportgraphics': cannot tell the format of '" + path + "' (use .png, .svg or .pdf)");
    Write(f, path, *format, dpi, "exportgraphics");
    return {};
}

// set(h, name, value, ...): properties of series by their handles, each
// checked on a copy before any is changed.
Outs Set(const Args &args, BuiltinCall &c) {
    const std::vector<double> handles = Numbers(args, 0);
    std::vector<plot::Series *> targets;
    for (double h : handles) {
        plot::Series *s = FiguresOf(c).FindSeries(h);
        if (s == nullptr) throw Error("'set': there is no plot object with handle " + km::DisplayNumber(h));
        targets.push_back(s);
    }
    std::vector<plot::Series> copies;
    for (const plot::Series *s : targets) copies.push_back(*s);
    ApplyPairs(args, 1, copies);
    for (std::size_t i = 0; i < targets.size(); ++i) *targets[i] = copies[i];
    for (plot::Figure *f : FiguresOf(c).All())
        for (const plot::Axes &a : f->axes)
            for (const plot::Series &s : a.series)
                if (std::find(handles.begin(), handles.end(), s.handle) != handles.end()) f->unsaved = true;
    return {};
}

// Runs F on a scratch axes first, so that a refused argument leaves no
// figure or axes made, then on the current axes.
template <void (*F)(const Args &, plot::Axes &, BuiltinCall &)>
Outs OnAxes(const Args &args, BuiltinCall &c) {
    plot::Axes scratch;
    F(args, scratch, c);
    F(args, FiguresOf(c).CurrentAxes(), c);
    return {};
}

// xlim, ylim, zlim: with no argument, the limits set (or [0 1]).
Outs Limit(const Args &args, BuiltinCall &c) {
    if (!args.empty()) return OnAxes<SetLimit>(args, c);
    if (c.nargout == 0) return {};
    plot::Axes &a = FiguresOf(c).CurrentAxes();
    const std::optional<std::vector<double>> &lim = c.name == "xlim" ? a.xlim : c.name == "ylim" ? a.ylim : a.zlim;
    return {Value(Array(1, 2, lim ? *lim : std::vector<double>{0, 1}))};
}

const BuiltinEntry kEntries[] = {
    {"figure", Figure, 0, kAny, 1, "figure, figure(n), h = figure",
     "Makes a new figure, or figure n, the current one; returns its number."},
    {"gcf", Gcf, 0, 0, 1, "h = gcf", "The number of the current figure (figure 1 made when there is none)."},
    {"subplot", Subplot, 1, 3, 0, "subplot(m, n, k), subplot(mnk)",
     "Makes cell k (counted along rows) of an m x n grid of axes the current axes."},
    {"hold", Hold, 0, 1, 0, "hold on, hold off, hold",
     "On: plots add to the current axes; off: each plot replaces what they hold."},
    {"clf", Clf, 0, 1, 0, "clf, clf reset", "Removes every axes of the current figure."},
    {"close", Close, 0, kAny, 0, "close, close(n), close all", "Closes figures: the current one, n, or all."},
    {"title", Label, 1, kAny, 0, "title(text)", "Sets the title of the current axes."},
    {"xlabel", Label, 1, kAny, 0, "xlabel(text)", "Labels the x-axis of the current axes."},
    {"ylabel", Label, 1, kAny, 0, "ylabel(text)", "Labels the y-axis of the current axes."},
    {"zlabel", Label, 1, kAny, 0, "zlabel(text)", "Labels the z-axis of 3-D axes."},
    {"legend", Legend, 0, kAny, 0, "legend(labels...), legend({labels}), legend(..., 'Location', where), legend off",
     "Shows a legend of the series (their labels or DisplayNames); 'best' (the default) keeps it off the data."},
    {"grid", Grid, 0, 1, 0, "grid on, grid off, grid", "Shows or hides grid lines at the ticks."},
    {"axis", OnAxes<SetAxis>, 0, kAny, 0, "axis([x0 x1 y0 y1]), axis equal|tight|square|normal|auto|off|on|ij|xy",
     "Sets the limits or the shape of the current axes."},
    {"xlim", Limit, 0, 1, 1, "xlim([a b]), xlim auto", "Sets the x-axis limits."},
    {"ylim", Limit, 0, 1, 1, "ylim([a b]), ylim auto", "Sets the y-axis limits."},
    {"zlim", Limit, 0, 1, 1, "zlim([a b]), zlim auto", "Sets the z-axis limits of 3-D axes."},
    {"xticks", OnAxes<SetTicks>, 1, 1, 0, "xticks(v), xticks auto", "Puts the x-axis ticks at v."},
    {"yticks", OnAxes<SetTicks>, 1, 1, 0, "yticks(v), yticks auto", "Puts the y-axis ticks at v."},
    {"text", TextBuiltin, 3, kAny, 1, "text(x, y, str)", "Writes str at (x, y) in the current axes."},
    {"colorbar", OnAxes<SetColorbar>, 0, 1, 0, "colorbar, colorbar off", "Shows the colormap's scale beside the axes."},
    {"colormap", Colormap, 0, 1, 1, "colormap(name), colormap(M), M = colormap",
     "Sets the colormap of the current figure: viridis (the default), gray, jet, hot, cool, or m x 3 RGB."},
    {"viridis", ColormapFunction, 0, 1, 1, "M = viridis(n)", "The perceptually uniform colormap, n x 3 (n = 256)."},
    {"gray", ColormapFunction, 0, 1, 1, "M = gray(n)", "Black to white, n x 3."},
    {"jet", ColormapFunction, 0, 1, 1, "M = jet(n)", "Dark blue through cyan and yellow to dark red, n x 3."},
    {"hot", ColormapFunction, 0, 1, 1, "M = hot(n)", "Black through red and yellow to white, n x 3."},
    {"cool", ColormapFunction, 0, 1, 1, "M = cool(n)", "Cyan to magenta, n x 3."},
    {"view", OnAxes<SetView>, 1, 2, 0, "view(az, el), view([az el]), view(2), view(3)",
     "Sets the viewing angles of 3-D axes, in degrees."},
    {"set", Set, 3, kAny, 0, "set(h, name, value, ...)",
     "Sets properties (LineWidth, Color, DisplayName, ...) of the plot objects whose handles plot and its kin returned."},
    {"print", Print, 1, kAny, 0, "print('-dpng', file), print -dsvg file, print -dpdf file, print(..., '-r150')",
     "Writes the current figure (or -fN) to a PNG, SVG or PDF file; the format from -d or the extension."},
    {"saveas", Saveas, 2, 3, 0, "saveas(gcf, file), saveas(h, file, fmt)",
     "Writes figure h to file, the format from its extension (png, svg, pdf) or fmt."},
    {"exportgraphics", Exportgraphics, 2, kAny, 0, "exportgraphics(gcf, file, 'Resolution', r)",
     "Writes figure h to file (png, svg, pdf by the extension), a PNG at r dots per inch (150)."},
};

}  // namespace

std::vector<std::string> WriteUnsavedFigures(Evaluator &evaluator, const std::string &folder) {
    std::vector<std::string> written;
    for (plot::Figure *f : evaluator.Figures().All()) {
        if (!f->unsaved || f->axes.empty()) continue;
        const std::string path =
            (folder.empty() ? std::string() : folder + "/") + "figure" + std::to_string(f->number) + ".png";
        plot::Render(*f, path, plot::Format::kPng, 100);
        f->unsaved = false;
        written.push_back(path);
    }
    return written;
}

Library FiguresLibrary() {
    return {"figures", "Figures and axes, colormaps, writing pictures (PNG, SVG, PDF)", kEntries,
            std::size(kEntries)};
}

}  // namespace mtrx
