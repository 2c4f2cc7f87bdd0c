// src/mtrx/lib/timefns.cpp: dates and time: date numbers (days from the
// year 0, day 1 being 1-Jan-0000, in the proleptic Gregorian calendar),
// clock vectors [y m d h mi s], their text (datestr), and the stopwatch.
#include "lib/support.h"

#include "evaluator.h"
#include "text.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cctype>
#include <limits>
#include <ctime>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

// Days from 1-Jan-1970 to the date (months and days may run over).
double DaysFromCivil(double y, double m, double d) {
    // Months beyond 1..12 move the year.
    const double shift = std::floor((m - 1) / 12);
    y += shift;
    m -= 12 * shift;
    y -= m <= 2;
    const double era = std::floor(y / 400);
    const double yoe = y - era * 400;
    const double mp = m > 2 ? m - 3 : m + 9;
    const double doy = std::floor((153 * mp + 2) / 5) + d - 1;
    const double doe = yoe * 365 + std::floor(yoe / 4) - std::floor(yoe / 100) + doy;
    return era * 146097 + doe - 719468;
}

// The date number of 1-Jan-1970.
constexpr double kEpoch = 719529;

double Datenum(double y, double mo, double d, double h = 0, double mi = 0, double s = 0) {
    return DaysFromCivil(y, mo, 1) + kEpoch + (d - 1) + (h * 3600 + mi * 60 + s) / 86400;
}

struct Civil {
    long long year;
    int month, day, hour, minute;
    double second;  // with its fraction (milliseconds)
};

// The calendar date and time of a date number, rounded to the millisecond.
Civil CivilOf(double n) {
    const double ms = std::round(n * 86400000.0);
    double days = std::floor(ms / 86400000.0);
    double rest = ms - days * 86400000.0;
    const double z = days - kEpoch + 719468;
    const double era = std::floor(z / 146097);
    const double doe = z - era * 146097;
    const double yoe = std::floor((doe - std::floor(doe / 1460) + std::floor(doe / 36524) -
                                   std::floor(doe / 146096)) / 365);
    const double doy = doe - (365 * yoe + std::floor(yoe / 4) - std::floor(yoe / 100));
    const double mp = std::floor((5 * doy + 2) / 153);
    const double d = doy - std::floor((153 * mp + 2) / 5) + 1;
    const double m = mp < 10 ? mp + 3 : mp - 9;
    const double y = yoe + era * 400 + (m <= 2);
    Civil c;
    c.year = static_cast<long long>(y);
    c.month = static_cast<int>(m);
    c.day = static_cast<int>(d);
    c.hour = static_cast<int>(rest / 3600000);
    rest -= c.hour * 3600000.0;
    c.minute = static_cast<int>(rest / 60000);
    rest -= c.minute * 60000.0;
    c.second = rest / 1000;
    return c;
}

const char *const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char *const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};

std::string Two(long long v) {
    char b[32];
    std::snprintf(b, sizeof b, "%02lld", v);
    return b;
}

// The text of a date number in a free format: yyyy yy mmmm mmm mm m dddd
// ddd dd d HH MM SS FFF AM PM; any other character as it is.
std::string DateText(double n, const std::string &f) {
    const Civil c = CivilOf(n);
    const bool ampm = f.find("AM") != std::string::npos || f.find("PM") != std::string::npos;
    // Day 2 (2-Jan-0000) was a Sunday.
    const int weekday = static_cast<int>(std::fmod(std::fmod(std::floor(n) - 2, 7) + 7, 7));
    std::string out;
    const auto at = [&](std::size_t i, const char *w) { return f.compare(i, std::strlen(w), w) == 0; };
    for (std::size_t i = 0; i < f.size();) {
        if (at(i, "yyyy")) {
            char b[32];
            std::snprintf(b, sizeof b, "%04lld", c.year);
            out += b;
            i += 4;
        } else if (at(i, "yy")) {
            out += Two(((c.year % 100) + 100) % 100);
            i += 2;
        } else if (at(i, "mmmm")) {
            out += kMonths[c.month - 1];
            i += 4;
        } else if (at(i, "mmm")) {
            out += std::string(kMonths[c.month - 1]).substr(0, 3);
            i += 3;
        } else if (at(i, "mm")) {
            out += Two(c.month);
            i += 2;
        } else if (at(i, "m")) {
            out += kMonths[c.month - 1][0];
            i += 1;
        } else if (at(i, "dddd")) {
            out += kDays[weekday];
            i += 4;
        } else if (at(i, "ddd")) {
            out += std::string(kDays[weekday]).substr(0, 3);
            i += 3;
        } else if (at(i, "dd")) {
            out += Two(c.day);
            i += 2;
        } else if (at(i, "d")) {
            out += kDays[weekday][0];
            i += 1;
        } else if (at(i, "HH")) {
            int h = c.hour;
            if (ampm) h = h % 12 == 0 ? 12 : h % 12;
            out += ampm ? std::to_string(h) : Two(h);
            if (ampm && h < 10) out.insert(out.size() - 1, " ");
            i += 2;
        } else if (at(i, "MM")) {
            out += Two(c.minute);
            i += 2;
        } else if (at(i, "SS")) {
            out += Two(static_cast<long long>(std::floor(c.second)));
            i += 2;
        } else if (at(i, "FFF")) {
            char b[8];
            std::snprintf(b, sizeof b, "%03d",
                          static_cast<int>(std::lround((c.second - std::floor(c.second)) * 1000)));
            out += b;
            i += 3;
        } else if (at(i, "AM") || at(i, "PM")) {
            out += c.hour < 12 ? "AM" : "PM";
            i += 2;
        } else {
            out += f[i++];
        }
    }
    return out;
}

// The formats numbered as datestr numbers them.
std::string NumberedFormat(int k) {
    switch (k) {
        case 0: return "dd-mmm-yyyy HH:MM:SS";
        case 1: return "dd-mmm-yyyy";
        case 2: return "mm/dd/yy";
        case 3: return "mmm";
        case 4: return "m";
        case 5: return "mm";
        case 6: return "mm/dd";
        case 7: return "dd";
        case 8: return "ddd";
        case 9: return "d";
        case 10: return "yyyy";
        case 11: return "yy";
        case 12: return "mmmyy";
        case 13: return "HH:MM:SS";
        case 14: return "HH:MM:SS PM";
        case 15: return "HH:MM";
        case 16: return "HH:MM PM";
        case 17: return "QQ-YY";
        case 23: return "mm/dd/yyyy";
        case 29: return "yyyy-mm-dd";
        case 30: return "yyyymmddTHHMMSS";
        case 31: return "yyyy-mm-dd HH:MM:SS";
        default: return "";
    }
}

// The date number of a date text: 'dd-mmm-yyyy', 'yyyy-mm-dd', 'yyyy/mm/dd'
// or 'mm/dd/yyyy', each optionally followed by ' HH:MM' or ' HH:MM:SS'
// (month names of three or more letters, in any case). Throws naming `who`
// for any other text.
double DateOfText(const std::string &text, const std::string &who) {
    const auto refuse = [&]() -> double {
        throw Error("'" + who + "' cannot read the date text '" + text +
                    "' (dd-mmm-yyyy, yyyy-mm-dd, yyyy/mm/dd or mm/dd/yyyy, then HH:MM:SS)");
    };
    std::size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < text.size() && text[i] == ' ') ++i;
    };
    const auto number = [&](std::size_t most) {
        std::size_t start = i;
        double v = 0;
        while (i < text.size() && i - start < most && std::isdigit(static_cast<unsigned char>(text[i])))
            v = v * 10 + (text[i++] - '0');
        if (i == start) refuse();
        return v;
    };
    const auto expect = [&](char c) {
        if (i >= text.size() || text[i] != c) refuse();
        ++i;
    };
    skipBlanks();
    double y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    const std::size_t first = i;
    const double lead = number(4);
    const std::size_t leadDigits = i - first;
    if (i < text.size() && text[i] == '-' && leadDigits <= 2) {
        // dd-mmm-yyyy
        ++i;
        std::string name;
        while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])))
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(text[i++])));
        for (int m = 0; m < 12 && mo == 0; ++m) {
            std::string full = kMonths[m];
            full[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(full[0])));
            if (name.size() >= 3 && full.compare(0, name.size(), name) == 0) mo = m + 1;
        }
        if (mo == 0) refuse();
        expect('-');
        d = lead;
        y = number(4);
    } else if (i < text.size() && (text[i] == '-' || text[i] == '/') && leadDigits == 4) {
        // yyyy-mm-dd, yyyy/mm/dd
        const char sep = text[i++];
        y = lead;
        mo = number(2);
        expect(sep);
        d = number(2);
    } else if (i < text.size() && text[i] == '/' && leadDigits <= 2) {
        // mm/dd/yyyy
        ++i;
        mo = lead;
        d = number(2);
        expect('/');
        y = number(4);
    } else {
        refuse();
    }
    skipBlanks();
    if (i < text.size()) {
        h = number(2);
        expect(':');
        mi = number(2);
        if (i < text.size() && text[i] == ':') {
            ++i;
            sec = number(2);
            if (i < text.size() && text[i] == '.') {
                ++i;
                const std::size_t start = i;
                const double f = number(9);
                sec += f / std::pow(10.0, static_cast<double>(i - start));
            }
        }
        skipBlanks();
    }
    if (i != text.size() || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 ||
        sec >= 60)
        refuse();
    return Datenum(y, mo, d, h, mi, sec);
}

// The date numbers of argument k: date numbers, the rows of an N x 6 (or N
// x 3) array of clock vectors, or date texts (a char row for each date, a
// cell or a string array of them).
std::vector<double> DateNumbers(const Args &args, std::size_t k) {
    if (args[k].IsCell() || args[k].tag() == Tag::String || args.IsText(k)) {
        std::vector<double> out;
        for (const std::string &t : ToStrings(args[k], args.Name()).items)
            out.push_back(DateOfText(t, args.Name()));
        return out;
    }
    const Array &a = args.GetArray(k);
    if (IsComplex(a)) args.Refuse(k, "date numbers, date vectors or date texts");
    const std::vector<double> v = RealNumbers(a);
    const unsigned int m = a.Rows(), n = a.Cols();
    std::vector<double> out;
    if (a.NDims() == 2 && (n == 6 || (n == 3 && m >= 1 && v[0] > 31))) {
        for (unsigned int i = 0; i < m; ++i) {
            const auto at = [&](unsigned int j) { return j < n ? v[i + j * m] : 0.0; };
            out.push_back(Datenum(at(0), at(1), at(2), at(3), at(4), at(5)));
        }
        return out;
    }
    return v;
}

// datestr(d), datestr(d, format): one row of text per date; the default
// format is 'dd-mmm-yyyy HH:MM:SS', or 'dd-mmm-yyyy' when every date is at
// midnight.
Outs Datestr(const Args &args, BuiltinCall &) {
    const std::vector<double> dates = DateNumbers(args, 0);
    std::string format;
    if (args.Has(1)) {
        if (args.IsText(1)) {
            format = args.GetText(1);
        } else {
            const int k = args.GetWhole(1);
            format = NumberedFormat(k);
            if (format.empty()) args.Refuse(1, "a format number datestr knows (0 to 16, 23, 29, 30, 31) or a format");
        }
    } else {
        const bool midnight = std::all_of(dates.begin(), dates.end(), [](double d) {
            return std::round(d * 86400000.0) == std::floor(d) * 86400000.0;
        });
        format = midnight ? NumberedFormat(1) : NumberedFormat(0);
    }
    std::vector<std::string> rows;
    for (double d : dates) {
        if (!std::isfinite(d) || std::fabs(d) > 1e9) throw Error("'datestr' takes finite dates within a million years");
        rows.push_back(DateText(d, format));
    }
    if (rows.empty()) return {CharArray("")};
    return {CharRows(rows)};
}

// weekday(D), weekday(D, 'long'): the day of the week of each date, 1 for
// Sunday to 7 for Saturday (the shape of D for date numbers, a column for
// texts), and its name's three letters (or the whole name) as char rows.
Outs Weekday(const Args &args, BuiltinCall &c) {
    const std::vector<double> dates = DateNumbers(args, 0);
    bool full = false;
    if (args.Has(1)) {
        const std::string form = args.GetText(1);
        if (form != "long" && form != "short") args.Refuse(1, "'short' or 'long'");
        full = form == "long";
    }
    Dims dims{static_cast<unsigned int>(dates.size()), 1};
    if (!args.IsText(0) && args[0].IsArray()) dims = args[0].array().Dims();
    Array n = Array::Adopt(km::mxCreateNumericArray(static_cast<unsigned int>(dims.size()),
                                                    dims.data(), km::mxClassDouble,
                                                    km::mxComplexityReal));
    km::DoubleSpan data = n.MutableData();
    std::vector<std::string> names;
    for (std::size_t k = 0; k < dates.size(); ++k) {
        if (!std::isfinite(dates[k])) {
            data[k] = std::numeric_limits<double>::quiet_NaN();
            names.emplace_back(full ? "" : "   ");
            continue;
        }
        // Day 2 (2-Jan-0000) was a Sunday.
        const int day = static_cast<int>(std::fmod(std::fmod(std::floor(dates[k]) - 2, 7) + 7, 7));
        data[k] = day + 1;
        names.push_back(full ? std::string(kDays[day]) : std::string(kDays[day]).substr(0, 3));
    }
    if (c.nargout < 2) return {n};
    return {n, names.empty() ? Value(Array::Adopt(km::CharRows({}))) : Value(CharRows(names))};
}

// The local time now, with its milliseconds.
Civil LocalNow(double &number) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const double fraction =
        std::chrono::duration<double>(now - std::chrono::system_clock::from_time_t(t)).count();
    number = Datenum(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                     local.tm_min, local.tm_sec + fraction);
    return Civil{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                 local.tm_min, local.tm_sec + fraction};
}

Outs Now(const Args &, BuiltinCall &) {
    double n;
    LocalNow(n);
    return {Value(n)};
}

Outs Clock(const Args &, BuiltinCall &) {
    double n;
    const Civil c = LocalNow(n);
    return {Array({static_cast<double>(c.year), static_cast<double>(c.month),
                   static_cast<double>(c.day), static_cast<double>(c.hour),
                   static_cast<double>(c.minute), c.second})};
}

Outs Date(const Args &, BuiltinCall &) {
    double n;
    LocalNow(n);
    return {CharArray(DateText(n, "dd-mmm-yyyy"))};
}

// datenum(y, m, d), datenum(y, m, d, h, mi, s), datenum(v) of clock
// vectors: the date numbers.
Outs DatenumBuiltin(const Args &args, BuiltinCall &) {
    if (args.size() == 1) {
        const std::vector<double> d = DateNumbers(args, 0);
        Array out = Array::Adopt(km::mxCreateDoubleMatrix(static_cast<unsigned int>(d.size()), 1,
                                                           km::mxComplexityReal));
        std::copy(d.begin(), d.end(), out.MutableData().begin());
        return {out};
    }
    if (args.size() != 3 && args.size() != 6)
        throw Error("'datenum' takes (y, m, d), (y, m, d, h, mi, s) or date vectors");
    double p[6] = {0, 0, 0, 0, 0, 0};
    for (std::size_t k = 0; k < args.size(); ++k) p[k] = args.GetScalar(k);
    return {Value(Datenum(p[0], p[1], p[2], p[3], p[4], p[5]))};
}

// datevec(n): a row [year month day hour minute seconds] for each date
// number (seconds to the millisecond).
Outs Datevec(const Args &args, BuiltinCall &) {
    const Array &a = args.GetArray(0);
    if (IsChar(a) || IsCell(a) || IsComplex(a)) args.Refuse(0, "date numbers");
    const std::vector<double> dates = RealNumbers(a);
    Array out = Array::Adopt(km::mxCreateDoubleMatrix(static_cast<unsigned int>(dates.size()), 6,
                                                       km::mxComplexityReal));
    km::DoubleSpan data = out.MutableData();
    const std::size_t m = dates.size();
    for (std::size_t i = 0; i < m; ++i) {
        if (!std::isfinite(dates[i]) || std::fabs(dates[i]) > 1e9)
            throw Error("'datevec' takes finite dates within a million years");
        const Civil c = CivilOf(dates[i]);
        const double row[6] = {static_cast<double>(c.year), static_cast<double>(c.month),
                               static_cast<double>(c.day),  static_cast<double>(c.hour),
                               static_cast<double>(c.minute), c.second};
        for (std::size_t j = 0; j < 6; ++j) data[i + j * m] = row[j];
    }
    return {out};
}

// etime(t1, t0): the seconds from clock vector t0 to t1.
Outs Etime(const Args &args, BuiltinCall &) {
    const auto vector = [&](std::size_t k) {
        const Array &a = args.GetArray(k);
        if (a.Numel() != 6 || IsChar(a) || IsComplex(a)) args.Refuse(k, "a clock vector of 6 numbers");
        return RealNumbers(a);
    };
    const std::vector<double> t1 = vector(0), t0 = vector(1);
    const double days = DaysFromCivil(t1[0], t1[1], 1) + t1[2] - DaysFromCivil(t0[0], t0[1], 1) - t0[2];
    return {Value(days * 86400 + (t1[3] - t0[3]) * 3600 + (t1[4] - t0[4]) * 60 + (t1[5] - t0[5]))};
}

Outs Cputime(const Args &, BuiltinCall &) {
    return {Value(static_cast<double>(std::clock()) / CLOCKS_PER_SEC)};
}

// The stopwatch: tic starts it (and gives a timer value: microseconds of
// a steady clock), toc reads it or a timer value.
std::uint64_t Microseconds(std::chrono::steady_clock::time_point t) {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count());
}

Outs Tic(const Args &, BuiltinCall &c) {
    const auto now = std::chrono::steady_clock::now();
    c.evaluator.TicTime() = now;
    if (c.nargout == 0) return {};
    const unsigned int one[2] = {1, 1};
    Array t = Array::Adopt(km::mxCreateNumericArray(2, one, km::mxClassUint64, km::mxComplexityReal));
    *static_cast<std::uint64_t *>(t.get()->GetPr()) = Microseconds(now);
    return {t};
}

Outs Toc(const Args &args, BuiltinCall &c) {
    const auto now = std::chrono::steady_clock::now();
    double seconds;
    if (args.Has(0)) {
        const Array &t = args.GetArray(0);
        if (t.ClassID() != km::mxClassUint64 || t.Numel() != 1)
            args.Refuse(0, "a timer value that tic gave");
        const std::uint64_t from = *static_cast<const std::uint64_t *>(t.get()->GetPr());
        // A value from before (or not from tic at all) may lie ahead of now.
        const std::uint64_t to = Microseconds(now);
        seconds = to >= from ? static_cast<double>(to - from) / 1e6
                             : -static_cast<double>(from - to) / 1e6;
    } else {
        seconds = std::chrono::duration<double>(now - c.evaluator.TicTime()).count();
    }
    if (c.nargout == 1) return {Value(seconds)};
    char text[64];
    std::snprintf(text, sizeof text, "Elapsed time is %.6f seconds.\n", seconds);
    c.display << text;
    return {};
}

const BuiltinEntry kEntries[] = {
    {"tic", Tic, 0, 0, 1, "tic, t = tic", "Starts the stopwatch; t is a timer value for toc(t)."},
    {"toc", Toc, 0, 1, 1, "toc, s = toc, toc(t)", "Seconds since tic, or since the timer value t."},
    {"now", Now, 0, 0, 1, "n = now", "The local date and time as a date number (days from year 0)."},
    {"clock", Clock, 0, 0, 1, "c = clock", "The local date and time as [year month day hour minute seconds]."},
    {"date", Date, 0, 0, 1, "s = date", "Today's date as 'dd-mmm-yyyy'."},
    {"datenum", DatenumBuiltin, 1, 6, 1,
     "n = datenum(y, m, d), datenum(y, m, d, h, mi, s), datenum(v), datenum('dd-mmm-yyyy')",
     "The date number of a date or date text (days from year 0; 1-Jan-0000 is 1)."},
    {"datestr", Datestr, 1, 2, 1, "s = datestr(d), datestr(d, format)",
     "Text of date numbers or date vectors: 'dd-mmm-yyyy HH:MM:SS', a number or yyyy mm dd HH MM SS."},
    {"datevec", Datevec, 1, 1, 1, "v = datevec(n)",
     "A row [year month day hour minute seconds] for each date number."},
    {"weekday", Weekday, 1, 2, 2, "[n, s] = weekday(d), weekday(d, 'long')",
     "Day of the week of date numbers or date texts: 1 (Sunday) to 7, and its name."},
    {"etime", Etime, 2, 2, 1, "s = etime(t1, t0)", "Seconds from clock vector t0 to t1."},
    {"cputime", Cputime, 0, 0, 1, "t = cputime", "Processor seconds used by mtrx so far."},
};

}  // namespace

Library TimeLibrary() { return {"time", "Dates, clocks and the stopwatch", kEntries, std::size(kEntries)}; }

}  // namespace mtrx
