// src/mtrx/lib/stats.cpp: data analysis: differences, medians and modes,
// percentiles, covariance, moving statistics, trapezoidal integrals and
// normalization (var and std, in data.cpp, read their options here too).
#include "lib/stats.h"

#include "lib/options.h"
#include "lib/support.h"

#include <cmath>
#include <string>
#include <vector>

namespace mtrx {

namespace km = kiv::matrix;
using km::CMatrix;

namespace {

Array Adopt(CMatrix *a) { return Array::Adopt(a); }

// A numeric, char or logical array: cells and the other values are refused
// by name.
const Array &Numbers(const Args &args, std::size_t k) {
    if (!args[k].IsArray()) args.Refuse(k, "a numeric array");
    return args[k].array();
}

// Takes a trailing 'omitnan' or 'includenan' off the count of arguments.
km::NanFlag NanOption(const Args &args, std::size_t &count) {
    const int word = count > 1 ? WordIndex(args, count - 1, {"omitnan", "includenan"}) : -1;
    if (word >= 0) --count;
    return word == 0 ? km::NanFlag::kOmit : km::NanFlag::kInclude;
}

Outs Diff(const Args &args, BuiltinCall &) {
    unsigned int order = 1;
    if (args.Has(1)) {
        const double n = args.GetScalar(1);
        if (!(n >= 0) || n != std::floor(n) || n > 4294967295.0)
            args.Refuse(1, "a nonnegative whole number");
        order = static_cast<unsigned int>(n);
    }
    const unsigned int dim = GetDimension(args, 2);
    return {Adopt(km::Diff(Numbers(args, 0).get(), order, dim))};
}

Outs Median(const Args &args, BuiltinCall &) {
    std::size_t count = args.size();
    const km::NanFlag nan = NanOption(args, count);
    const Array &a = Numbers(args, 0);
    if (count > 2) throw Error("Too many input arguments for 'median'");
    if (count == 1) return {Adopt(km::Median(a.get(), 0, nan))};
    return {Adopt(km::Median(a.get(), GetDimensions(args, 1).dims, nan))};
}

Outs Mode(const Args &args, BuiltinCall &c) {
    CMatrix *m = nullptr, *f = nullptr, *cells = nullptr;
    const unsigned int dim = GetDimension(args, 1);
    km::Mode(m, f, c.nargout > 2 ? &cells : nullptr, Numbers(args, 0).get(), dim);
    Array M = Adopt(m), F = Adopt(f);
    if (c.nargout <= 2) return {std::move(M), std::move(F)};
    return {std::move(M), std::move(F), Adopt(cells)};
}

Outs Range(const Args &args, BuiltinCall &) {
    const unsigned int dim = GetDimension(args, 1);
    return {Adopt(km::Range(Numbers(args, 0).get(), dim))};
}

Outs Bounds(const Args &args, BuiltinCall &) {
    const unsigned int dim = GetDimension(args, 1);
    CMatrix *s = nullptr, *l = nullptr;
    km::Bounds(s, l, Numbers(args, 0).get(), dim);
    Array S = Adopt(s), L = Adopt(l);
    return {std::move(S), std::move(L)};
}

// The normalization flag of cov and corrcoef: 0 (n - 1) or 1 (n).
bool IsFlag(const Args &args, std::size_t k) {
    if (!args[k].IsArray() || IsText(args[k])) return false;
    const Array &a = args[k].array();
    return a.Numel() == 1 && !IsComplex(a) && (a.Scalar() == 0 || a.Scalar() == 1);
}

Outs Cov(const Args &args, BuiltinCall &) {
    std::size_t count = args.size();
    bool byN = false;
    const bool flagLast =
        count == 3 || (count == 2 && IsFlag(args, 1) && Numbers(args, 0).Numel() != 1);
    if (count == 3 && !IsFlag(args, 2)) args.Refuse(2, "0 or 1");
    if (flagLast) byN = Numbers(args, --count).Scalar() == 1;
    if (count == 1) return {Adopt(km::Cov(Numbers(args, 0).get(), byN))};
    return {Adopt(km::Cov(Numbers(args, 0).get(), Numbers(args, 1).get(), byN))};
}

Outs Corrcoef(const Args &args, BuiltinCall &) {
    if (args.size() == 1) return {Adopt(km::Corrcoef(Numbers(args, 0).get()))};
    return {Adopt(km::Corrcoef(Numbers(args, 0).get(), Numbers(args, 1).get()))};
}

template <bool Percent>
Outs Percentiles(const Args &args, BuiltinCall &) {
    const unsigned int dim = GetDimension(args, 2);
    const CMatrix *a = Numbers(args, 0).get();
    const CMatrix *p = Numbers(args, 1).get();
    return {Adopt(Percent ? km::Prctile(a, p, dim) : km::Quantile(a, p, dim))};
}

template <km::MovingKind Kind>
Outs Moving(const Args &args, BuiltinCall &c) {
    std::size_t count = args.size();
    km::NanFlag nan = km::NanFlag::kInclude;
    km::MovingEnds ends;
    // Options from the back: 'omitnan'/'includenan' and 'Endpoints' with
    // 'shrink', 'discard', 'fill' or a value.
    for (bool more = true; more && count > 2;) {
        more = false;
        if (count > 3 && IsWord(args, count - 2, "endpoints")) {
            const std::size_t k = count - 1;
            if (IsWord(args, k, "shrink")) {
                ends.kind = km::MovingEnds::Kind::kShrink;
            } else if (IsWord(args, k, "discard")) {
                ends.kind = km::MovingEnds::Kind::kDiscard;
            } else if (IsWord(args, k, "fill")) {
                ends.kind = km::MovingEnds::Kind::kFill;
                ends.value = kiv::matrix::mxGetNaN();
            } else if (!args.IsText(k) && args[k].IsArray() && args[k].array().Numel() == 1) {
                ends.kind = km::MovingEnds::Kind::kFill;
                ends.value = args.GetScalar(k);
            } else {
                throw Error(c.name +
                            ": 'Endpoints' takes 'shrink', 'discard', 'fill' or a scalar value");
            }
            count -= 2;
            more = true;
        } else if (const int word = WordIndex(args, count - 1, {"omitnan", "includenan"}); word >= 0) {
            if (word == 0) nan = km::NanFlag::kOmit;
            --count;
            more = true;
        }
    }
    if (count > 3) throw Error(c.name + ": unknown option");
    const Array &window = Numbers(args, 1);
    unsigned int kb = 0, kf = 0;
    if (window.Numel() == 1) {
        const unsigned int k = args.GetPositive(1);
        kb = k / 2;
        kf = k % 2 == 1 ? k / 2 : k / 2 - 1;
    } else if (window.Numel() == 2 && !IsComplex(window)) {
        const Array w = Array::Adopt(km::Double(window.get()));
        for (int i = 0; i < 2; ++i) {
            const double x = w.Data()[i];
            if (!(x >= 0) || x != std::floor(x) || x > 4294967295.0)
                throw Error(c.name + ": the window [kb kf] must hold nonnegative whole numbers");
        }
        kb = static_cast<unsigned int>(w.Data()[0]);
        kf = static_cast<unsigned int>(w.Data()[1]);
    } else {
        throw Error(c.name + ": the window must be a length k or [kb kf]");
    }
    const unsigned int dim = count > 2 ? args.GetPositive(2) : 0;
    const Array &a = Numbers(args, 0);
    if (IsComplex(a)) throw Error(c.name + ": complex values are not supported");
    const km::mxClassID id = a.get()->GetClassID();
    const bool spread = Kind == km::MovingKind::kVar || Kind == km::MovingKind::kStd ||
                        Kind == km::MovingKind::kMad;
    if (spread && id >= km::mxClassInt8 && id <= km::mxClassUint64)
        throw Error(c.name + ": the argument must be double or single");
    return {Adopt(km::Moving(a.get(), Kind, kb, kf, dim, nan, ends))};
}

// trapz(Y), trapz(Y, dim) when the second argument is a scalar, trapz(X,
// Y), trapz(X, Y, dim); cumtrapz alike.
template <bool Running>
Outs Trapz(const Args &args, BuiltinCall &) {
    const CMatrix *x = nullptr;
    const CMatrix *y = Numbers(args, 0).get();
    unsigned int dim = 0;
    if (args.size() == 2 && Numbers(args, 1).Numel() == 1 && Numbers(args, 0).Numel() != 1) {
        dim = args.GetPositive(1);
    } else if (args.size() >= 2) {
        x = y;
        y = Numbers(args, 1).get();
        if (args.Has(2)) dim = args.GetPositive(2);
    }
    return {Adopt(Running ? km::Cumtrapz(x, y, dim) : km::Trapz(x, y, dim))};
}

Outs Normest(const Args &args, BuiltinCall &) {
    double tol = 1e-6;
    if (args.Has(1)) {
        tol = args.GetScalar(1);
        if (!(tol > 0)) args.Refuse(1, "a positive tolerance");
    }
    unsigned int count = 0;
    const double e = km::Normest(Numbers(args, 0).get(), tol, &count);
    return {Value(e), Value(static_cast<double>(count))};
}

Outs Rescale(const Args &args, BuiltinCall &c) {
    if (args.size() == 2) throw Error(c.name + ": give both bounds l and u");
    const double l = args.GetScalar(1, 0), u = args.GetScalar(2, 1);
    return {Adopt(km::Rescale(Numbers(args, 0).get(), l, u))};
}

// The statistic named by a 'center' or 'scale' parameter, or a number.
void CentreOrScale(const Args &args, std::size_t k, bool center, const std::string &name,
                   km::NormalizeStatistic &statistic, double &value) {
    statistic = center ? km::NormalizeStatistic::kMean : km::NormalizeStatistic::kStd;
    if (!args.Has(k)) return;
    if (!args.IsText(k)) {
        statistic = km::NormalizeStatistic::kValue;
        value = args.GetScalar(k);
        return;
    }
    const std::string how = LowerWord(args.GetText(k));
    if (center && how == "median") {
        statistic = km::NormalizeStatistic::kMedian;
    } else if (!center && how == "mad") {
        statistic = km::NormalizeStatistic::kMad;
    } else if (!center && how == "first") {
        statistic = km::NormalizeStatistic::kFirst;
    } else if (!center && how == "iqr") {
        statistic = km::NormalizeStatistic::kIqr;
    } else if (how != (center ? "mean" : "std")) {
        throw Error(name + ": '" + (center ? "center" : "scale") + "' takes " +
                    (center ? "'mean', 'median'" : "'std', 'mad', 'first', 'iqr'") +
                    " or a number");
    }
}

// normalize(A), normalize(A, dim), then a method and its parameter, or
// 'center' and 'scale' together.
Outs Normalize(const Args &args, BuiltinCall &c) {
    km::NormalizeOptions o;
    std::size_t k = 1;
    unsigned int dim = 0;
    if (args.Has(1) && !args.IsText(1)) {
        dim = args.GetPositive(1);
        k = 2;
    }
    if (args.Has(k)) {
        const std::string method = LowerWord(args.GetText(k));
        // The parameter is the next argument unless that names the other
        // method of a 'center' and 'scale' pair.
        const auto isPairWord = [&](std::size_t i) {
            return args.Has(i) && (IsWord(args, i, "center") || IsWord(args, i, "scale"));
        };
        const bool pairable = method == "center" || method == "scale";
        const bool hasParam = args.Has(k + 1) && !(pairable && isPairWord(k + 1));
        const std::size_t next = k + (hasParam ? 2 : 1);
        if (pairable && args.Has(next)) {
            const std::string other = LowerWord(args.GetText(next));
            if (other == method || !isPairWord(next))
                throw Error(c.name + ": '" + method + "' pairs only with '" +
                            (method == "center" ? "scale" : "center") + "'");
            const bool otherParam = args.Has(next + 1);
            if (args.size() > next + 2)
                throw Error(c.name + ": too many arguments after 'center' and 'scale'");
            const std::size_t none = args.size();
            const std::size_t first = hasParam ? k + 1 : none;
            const std::size_t second = otherParam ? next + 1 : none;
            const bool centerFirst = method == "center";
            o.method = km::NormalizeMethod::kCenterScale;
            CentreOrScale(args, centerFirst ? first : second, true, c.name, o.statistic, o.value);
            CentreOrScale(args, centerFirst ? second : first, false, c.name, o.scaleStatistic,
                          o.scaleValue);
            return {Adopt(km::Normalize(Numbers(args, 0).get(), dim, o))};
        }
        if (args.size() > k + 2) throw Error(c.name + ": too many arguments after the method");
        if (method == "zscore") {
            if (IsWord(args, k + 1, "robust")) {
                o.statistic = km::NormalizeStatistic::kMad;
            } else if (hasParam && !IsWord(args, k + 1, "std")) {
                throw Error(c.name + ": the 'zscore' method takes 'std' or 'robust'");
            }
        } else if (method == "medianiqr") {
            if (hasParam) throw Error(c.name + ": the 'medianiqr' method takes no parameter");
            o.method = km::NormalizeMethod::kMedianIqr;
        } else if (method == "range") {
            o.method = km::NormalizeMethod::kRange;
            if (hasParam) {
                const Array &r = Numbers(args, k + 1);
                if (r.Numel() != 2 || IsComplex(r))
                    throw Error(c.name + ": the 'range' method takes an interval [a b]");
                const Array d = Array::Adopt(km::Double(r.get()));
                o.l = d.Data()[0];
                o.u = d.Data()[1];
            }
        } else if (method == "norm") {
            o.method = km::NormalizeMethod::kNorm;
            if (hasParam) o.p = args.GetScalar(k + 1);
        } else if (method == "center" || method == "scale") {
            const bool center = method == "center";
            o.method = center ? km::NormalizeMethod::kCenter : km::NormalizeMethod::kScale;
            CentreOrScale(args, hasParam ? k + 1 : args.size(), center, c.name, o.statistic,
                          o.value);
        } else {
            throw Error(c.name + ": unknown method '" + method + "'");
        }
    }
    return {Adopt(km::Normalize(Numbers(args, 0).get(), dim, o))};
}

Outs Zscore(const Args &args, BuiltinCall &c) {
    if (args.Has(1)) {
        const Array &w = Numbers(args, 1);
        if (!w.IsEmpty() && !(w.Numel() == 1 && w.Scalar() == 0))
            throw Error(c.name + ": takes only the weight 0 or []");
    }
    const unsigned int dim = GetDimension(args, 2);
    const Array &x = Numbers(args, 0);
    Array z = Adopt(km::Normalize(x.get(), dim, km::NormalizeOptions()));
    if (c.nargout < 2) return {std::move(z)};
    // The mean and standard deviation the scores came from (a deviation of
    // 0 is returned as 0, though the scores divided by 1).
    const Array d = IsChar(x) || x.get()->IsLogical() ? Adopt(km::Double(x.get())) : x;
    Array mu = Adopt(dim == 0 ? km::Mean(d.get()) : km::Mean(d.get(), dim));
    Array sigma = Adopt(dim == 0 ? km::Std(d.get()) : km::Std(d.get(), dim));
    return {std::move(z), std::move(mu), std::move(sigma)};
}

const BuiltinEntry kEntries[] = {
    {"diff", Diff, 1, 3, 1, "diff(X), diff(X, n), diff(X, n, dim)",
     "Differences X(k+1) - X(k), n times, along a dimension."},
    {"median", Median, 1, 3, 1,
     "median(A), median(A, dim), median(A, 'all'), median(..., 'omitnan')",
     "Middle value of the sorted elements (mean of the two middle ones)."},
    {"mode", Mode, 1, 2, 3, "mode(A), mode(A, dim), [M, F, C] = mode(A)",
     "Most frequent value (the smallest of ties), its count and all tied values."},
    {"range", Range, 1, 2, 1, "range(A), range(A, dim)", "Largest minus smallest element."},
    {"bounds", Bounds, 1, 2, 2, "[S, L] = bounds(A), bounds(A, dim)",
     "Smallest and largest elements."},
    {"cov", Cov, 1, 3, 1, "cov(x), cov(X), cov(x, y), cov(..., w)",
     "Covariance (matrix of the columns), dividing by n - 1 (w 0) or n (w 1)."},
    {"corrcoef", Corrcoef, 1, 2, 1, "corrcoef(X), corrcoef(x, y)",
     "Correlation coefficients of the columns."},
    {"prctile", Percentiles<true>, 2, 3, 1, "prctile(A, p), prctile(A, p, dim)",
     "Percentiles (p in [0, 100]) by interpolating the sorted data, NaNs omitted."},
    {"quantile", Percentiles<false>, 2, 3, 1, "quantile(A, p), quantile(A, p, dim)",
     "Quantiles (p in [0, 1]) by interpolating the sorted data, NaNs omitted."},
    {"movsum", Moving<km::MovingKind::kSum>, 2, 7, 1, "movsum(A, k), movsum(A, [kb kf], dim)",
     "Moving sum over a window of k elements, or kb before and kf after."},
    {"movmean", Moving<km::MovingKind::kMean>, 2, 7, 1,
     "movmean(A, k), movmean(A, [kb kf], dim), movmean(..., 'omitnan'), movmean(..., 'Endpoints', "
     "e)",
     "Moving mean over a window shrunk at the ends."},
    {"movmax", Moving<km::MovingKind::kMax>, 2, 7, 1, "movmax(A, k), movmax(A, [kb kf], dim)",
     "Moving maximum."},
    {"movmin", Moving<km::MovingKind::kMin>, 2, 7, 1, "movmin(A, k), movmin(A, [kb kf], dim)",
     "Moving minimum."},
    {"movmedian", Moving<km::MovingKind::kMedian>, 2, 7, 1,
     "movmedian(A, k), movmedian(A, [kb kf], dim)", "Moving median."},
    {"movprod", Moving<km::MovingKind::kProd>, 2, 7, 1, "movprod(A, k), movprod(A, [kb kf], dim)",
     "Moving product."},
    {"movvar", Moving<km::MovingKind::kVar>, 2, 7, 1, "movvar(A, k), movvar(A, [kb kf], dim)",
     "Moving variance (dividing by n - 1)."},
    {"movstd", Moving<km::MovingKind::kStd>, 2, 7, 1, "movstd(A, k), movstd(A, [kb kf], dim)",
     "Moving standard deviation (dividing by n - 1)."},
    {"movmad", Moving<km::MovingKind::kMad>, 2, 7, 1, "movmad(A, k), movmad(A, [kb kf], dim)",
     "Moving median absolute deviation."},
    {"trapz", Trapz<false>, 1, 3, 1, "trapz(Y), trapz(X, Y), trapz(X, Y, dim)",
     "Integral by the trapezoidal rule."},
    {"cumtrapz", Trapz<true>, 1, 3, 1, "cumtrapz(Y), cumtrapz(X, Y), cumtrapz(X, Y, dim)",
     "Running integral by the trapezoidal rule."},
    {"normest", Normest, 1, 2, 2, "normest(A), normest(A, tol), [n, count] = normest(A)",
     "2-norm estimate by power iteration (tolerance 1e-6)."},
    {"rescale", Rescale, 1, 3, 1, "rescale(A), rescale(A, l, u)",
     "Elements mapped linearly onto [0, 1] or [l, u]."},
    {"normalize", Normalize, 1, 6, 1,
     "normalize(A), normalize(A, dim), normalize(..., method, parameter), normalize(..., "
     "'center', c, 'scale', s)",
     "Z-scores ('std' or 'robust'), or 'medianiqr', 'range', 'norm', 'center', 'scale' per "
     "line."},
    {"zscore", Zscore, 1, 3, 3, "zscore(X), zscore(X, 0, dim), [Z, mu, sigma] = zscore(X)",
     "Centered by the mean and scaled by the standard deviation."},
};

}  // namespace

Outs Spread(const Args &args, bool root, int nargout) {
    const CMatrix *w = args.Has(1) ? Numbers(args, 1).get() : nullptr;
    std::vector<unsigned int> dims = {0};
    if (args.Has(2)) dims = GetDimensions(args, 2).dims;
    if (nargout < 2) return {Adopt(km::VarWeighted(Numbers(args, 0).get(), w, dims, root))};
    CMatrix *v = nullptr, *m = nullptr;
    km::VarWeighted(v, m, Numbers(args, 0).get(), w, dims, root);
    Array V = Adopt(v), M = Adopt(m);
    return {std::move(V), std::move(M)};
}

Library StatsLibrary() {
    return {"stats", "Statistics and data analysis", kEntries, std::size(kEntries)};
}

}  // namespace mtrx
