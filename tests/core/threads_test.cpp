// tests/core/threads_test.cpp: the same bits at every thread count, the pool's contract.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <matrix/matrix.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "kernels/parallel.h"
#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

namespace km = kiv::matrix;
namespace kernels = kiv::matrix::kernels;
using matrix_test::ArrayPtr;
using matrix_test::Expected;

constexpr unsigned int kThreadCounts[] = {2, 3, 8};

// Restores the library's thread count when a test ends.
class ThreadsTest : public ::testing::Test {
protected:
    void TearDown() override { km::SetNumThreads(0); }
};

// A real m x n matrix of normal values; `diagonal` is added on the
// diagonal, which makes a square one well conditioned (or, for a product
// with its transpose, positive definite).
ArrayPtr RandomMatrix(unsigned int m, unsigned int n, std::mt19937_64 &rng, double diagonal = 0) {
    ArrayPtr a = matrix_test::Array({m, n});
    std::normal_distribution<double> normal;
    double *p = km::mxGetPr(a.get());
    for (unsigned int j = 0; j < n; ++j) {
        for (unsigned int i = 0; i < m; ++i) p[i + j * m] = normal(rng) + (i == j ? diagonal : 0);
    }
    return a;
}

// A complex copy of the real matrix `a`, its real part as imaginary part too.
ArrayPtr ComplexOf(const km::CMatrix *a) {
    const std::vector<double> v = matrix_test::Values(a);
    return matrix_test::Complex(km::mxGetM(a), km::mxGetN(a), v, v);
}

// The bits of every output of one call.
using Outputs = std::vector<std::vector<std::uint64_t>>;
using Call = std::function<Outputs()>;

Outputs Of(std::initializer_list<const km::CMatrix *> arrays) {
    Outputs out;
    for (const km::CMatrix *a : arrays) {
        out.push_back(matrix_test::BitsOf(a));
        out.push_back(matrix_test::BitsOf(matrix_test::ImagValues(a)));
    }
    return out;
}

// One row of the table: a call on inputs that sit at a split point or a
// threshold of the work it does.
struct Case {
    std::string what;
    Call call;
};

std::vector<Case> Cases(std::mt19937_64 &rng) {
    std::vector<Case> cases;
    // Products around 2^20 multiplications and around the column grain of
    // 12, and the tall and wide shapes.
    const unsigned int products[][3] = {{101, 101, 101}, {102, 102, 102}, {700, 23, 70},
                                        {700, 24, 70},   {700, 25, 70},   {64, 97, 256},
                                        {1, 2000, 600},  {300, 301, 257}, {2000, 37, 33},
                                        {2100, 1, 600},  {1030, 4, 300}};
    for (const auto &s : products) {
        auto a = std::make_shared<ArrayPtr>(RandomMatrix(s[0], s[2], rng));
        auto b = std::make_shared<ArrayPtr>(RandomMatrix(s[2], s[1], rng));
        cases.push_back({"Mtimes " + std::to_string(s[0]) + "x" + std::to_string(s[2]) + " by " +
                             std::to_string(s[2]) + "x" + std::to_string(s[1]),
                         [a, b] {
                             ArrayPtr c(km::Mtimes(a->get(), b->get()));
                             return Of({c.get()});
                         }});
    }
    // The factorisations update their trailing columns through the product;
    // on several threads, from order 256, by panels of 64 and more: a whole
    // number of panels, one column more, short last panels of 64 and of 96.
    for (unsigned int n : {130u, 256u, 257u, 320u, 400u, 700u}) {
        auto a = std::make_shared<ArrayPtr>(RandomMatrix(n, n, rng, 4.0));
        cases.push_back({"Lu " + std::to_string(n), [a] {
                             km::CMatrix *l = nullptr, *u = nullptr, *p = nullptr;
                             km::Lu(l, u, p, a->get());
                             ArrayPtr lo(l), up(u), pe(p);
                             return Of({l, u, p});
                         }});
        cases.push_back({"Det " + std::to_string(n), [a] {
                             ArrayPtr d(km::Scalar(km::Det(a->get())));
                             return Of({d.get()});
                         }});
        ArrayPtr t(km::Transpose(a->get()));
        auto spd = std::make_shared<ArrayPtr>(km::Mtimes(t.get(), a->get()));
        cases.push_back({"Chol " + std::to_string(n), [spd] {
                             ArrayPtr r(km::Chol(spd->get()));
                             return Of({r.get()});
                         }});
        // B takes the panels' steps beside A's columns on several threads.
        auto rhs = std::make_shared<ArrayPtr>(RandomMatrix(n, 100, rng));
        auto one = std::make_shared<ArrayPtr>(RandomMatrix(n, 1, rng));
        cases.push_back(
            {"Mldivide " + std::to_string(n) + " with 100 columns and with 1", [a, rhs, one] {
                 ArrayPtr x(km::Mldivide(a->get(), rhs->get()));
                 ArrayPtr y(km::Mldivide(a->get(), one->get()));
                 return Of({x.get(), y.get()});
             }});
    }
    // Singular values and vectors: the bidiagonal reduction's steps of
    // 2^17 elements and more are shared by columns; the reflections'
    // updates of U and V by groups of columns from 2^15 elements on.
    for (unsigned int rows : {600u, 380u}) {
        const unsigned int columns = rows == 600 ? 240 : 370;
        auto a = std::make_shared<ArrayPtr>(RandomMatrix(rows, columns, rng));
        cases.push_back({"Svd values " + std::to_string(rows) + "x" + std::to_string(columns), [a] {
                             ArrayPtr s(km::Svd(a->get(), false));
                             return Of({s.get()});
                         }});
    }
    for (unsigned int rows : {181u, 300u}) {
        auto a = std::make_shared<ArrayPtr>(RandomMatrix(rows, 180, rng));
        cases.push_back({"Svd with vectors " + std::to_string(rows) + "x180", [a] {
                             km::CMatrix *u = nullptr, *s = nullptr, *v = nullptr;
                             km::Svd(u, s, v, a->get(), false);
                             ArrayPtr uu(u), ss(s), vv(v);
                             return Of({u, s, v});
                         }});
    }
    // A Cholesky factorisation that fails in its fourth panel, while the
    // panels after it are being updated.
    {
        ArrayPtr a(RandomMatrix(300, 300, rng));
        ArrayPtr t(km::Transpose(a.get()));
        auto spd = std::make_shared<ArrayPtr>(km::Mtimes(t.get(), a.get()));
        km::mxGetPr(spd->get())[200 + 200 * 300] = -1.0;
        cases.push_back({"Chol failing at row 201 of 300", [spd] {
                             bool ok = true;
                             ArrayPtr r(km::Chol(spd->get(), ok));
                             ArrayPtr flag(km::Scalar(ok ? 1.0 : 0.0));
                             return Of({r.get(), flag.get()});
                         }});
    }
    // The fast order's eigenvectors, shared out by column from order 64 on,
    // four at a time; the random starts are seeded first.
    for (unsigned int n : {63u, 64u, 97u}) {
        auto a = std::make_shared<ArrayPtr>(RandomMatrix(n, n, rng));
        cases.push_back({"fast Eig " + std::to_string(n), [a] {
                             const km::Order before = km::GetOrder();
                             km::SetOrder(km::Order::kFast);
                             kiv::RandSeed(11);
                             km::CMatrix *d = nullptr, *v = nullptr;
                             km::Eig(d, v, a->get(), true);
                             ArrayPtr dd(d), vv(v);
                             km::SetOrder(before);
                             return Of({d, v});
                         }});
    }
    // Transposes around 2^18 elements and the strips of 64 rows, real and
    // complex.
    const unsigned int transposes[][2] = {{511, 513}, {512, 512}, {129, 2100}, {1000, 300}};
    for (const auto &s : transposes) {
        auto a = std::make_shared<ArrayPtr>(RandomMatrix(s[0], s[1], rng));
        auto z = std::make_shared<ArrayPtr>(ComplexOf(a->get()));
        cases.push_back({"Transpose " + std::to_string(s[0]) + "x" + std::to_string(s[1]), [a, z] {
                             ArrayPtr t(km::Transpose(a->get()));
                             ArrayPtr c(km::Ctranspose(z->get()));
                             return Of({t.get(), c.get()});
                         }});
    }
    // Cholesky finishes the columns right of a block of 16 rows on several
    // threads from 512 columns on.
    {
        ArrayPtr a = RandomMatrix(700, 700, rng);
        ArrayPtr t(km::Transpose(a.get()));
        auto spd = std::make_shared<ArrayPtr>(km::Mtimes(t.get(), a.get()));
        cases.push_back({"Chol 700", [spd] {
                             ArrayPtr r(km::Chol(spd->get()));
                             return Of({r.get()});
                         }});
    }
    // Reductions, running sums and products, variances around 2^17
    // elements: contiguous lines in blocks of 64, strided lines by slabs or
    // in blocks of 1024.
    const unsigned int reductions[][4] = {{127, 1031, 1, 1}, {128, 1031, 1, 1}, {10, 100000, 1, 1},
                                          {3000, 50, 1, 2},  {100, 20, 100, 2}, {2100, 70, 1, 2}};
    for (const auto &s : reductions) {
        auto a = std::make_shared<ArrayPtr>(RandomMatrix(s[0], s[1] * s[2], rng));
        if (s[2] > 1)
            a = std::make_shared<ArrayPtr>(
                matrix_test::Filled({s[0], s[1], s[2]}, matrix_test::Values(a->get())));
        const unsigned int dim = s[3];
        cases.push_back({"reductions of " + std::to_string(s[0]) + "x" + std::to_string(s[1]) +
                             "x" + std::to_string(s[2]) + " along " + std::to_string(dim),
                         [a, dim] {
                             ArrayPtr sum(km::Sum(a->get(), dim));
                             ArrayPtr any(km::Any(a->get(), dim));
                             ArrayPtr max(km::Max(a->get(), dim));
                             km::CMatrix *y = nullptr, *i = nullptr;
                             km::Max(y, i, a->get(), dim);
                             ArrayPtr values(y), positions(i);
                             ArrayPtr cumsum(km::Cumsum(a->get(), dim));
                             ArrayPtr cumprod(km::Cumprod(a->get(), dim));
                             ArrayPtr var(km::Var(a->get(), dim)), sd(km::Std(a->get(), dim));
                             return Of({sum.get(), any.get(), max.get(), y, i, cumsum.get(),
                                        cumprod.get(), var.get(), sd.get()});
                         }});
    }
    // Gathers by a double index around 2^16 positions, real and complex.
    for (unsigned int n : {65535u, 65536u, 65536u + 4097u, 300007u}) {
        const unsigned int source = 100003;
        auto a = std::make_shared<ArrayPtr>(RandomMatrix(source, 1, rng));
        auto z = std::make_shared<ArrayPtr>(ComplexOf(a->get()));
        auto index = std::make_shared<ArrayPtr>(matrix_test::Array({1, n}));
        std::uniform_int_distribution<unsigned int> position(1, source);
        for (unsigned int k = 0; k < n; ++k) km::mxGetPr(index->get())[k] = position(rng);
        cases.push_back({"Indexref of " + std::to_string(n), [a, z, index] {
                             ArrayPtr real(km::Indexref(a->get(), index->get()));
                             ArrayPtr complex(km::Indexref(z->get(), index->get()));
                             return Of({real.get(), complex.get()});
                         }});
    }
    // Gathers by a mask, in chunks of whole words from 2^17 elements on
    // (words empty or about half full at random, so that dense words end
    // some chunks), and A(I,J) by columns from 2^16 elements on.
    for (unsigned int n : {131071u, 131072u + 64u, 400000u}) {
        auto a = std::make_shared<ArrayPtr>(RandomMatrix(n, 1, rng));
        auto mask = std::make_shared<ArrayPtr>(matrix_test::Array({n, 1}));
        std::bernoulli_distribution half(0.5);
        bool emptyWord = false;
        for (unsigned int k = 0; k < n; ++k) {
            if (k % 64 == 0) emptyWord = half(rng);
            km::mxGetPr(mask->get())[k] = !emptyWord && half(rng);
        }
        (*mask)->SetLogical();
        cases.push_back({"mask gather of " + std::to_string(n), [a, mask] {
                             ArrayPtr r(km::Indexref(a->get(), mask->get()));
                             return Of({r.get()});
                         }});
    }
    for (unsigned int columns : {163u, 164u, 2000u}) {
        auto a = std::make_shared<ArrayPtr>(RandomMatrix(500, 2000, rng));
        auto rows = std::make_shared<ArrayPtr>(matrix_test::Array({1, 400}));
        auto picked = std::make_shared<ArrayPtr>(matrix_test::Array({1, columns}));
        std::uniform_int_distribution<unsigned int> row(1, 500), column(1, 2000);
        for (unsigned int k = 0; k < 400; ++k) km::mxGetPr(rows->get())[k] = row(rng);
        for (unsigned int k = 0; k < columns; ++k) km::mxGetPr(picked->get())[k] = column(rng);
        cases.push_back({"A(I,J) of 400 by " + std::to_string(columns), [a, rows, picked] {
                             ArrayPtr r(km::Indexref(a->get(), rows->get(), picked->get()));
                             ArrayPtr colon(km::mxCreateColonIndex());
                             ArrayPtr all(km::Indexref(a->get(), colon.get(), picked->get()));
                             return Of({r.get(), all.get()});
                         }});
    }
    // Element-wise work around 2^18 elements and the 4096-element grain.
    for (unsigned int n : {262143u, 262144u, 262144u + 4097u, 1000003u}) {
        auto a = std::make_shared<ArrayPtr>(RandomMatrix(n, 1, rng));
        auto b = std::make_shared<ArrayPtr>(RandomMatrix(1, n, rng));
        const std::string size = std::to_string(n);
        cases.push_back({"Plus " + size, [a] {
                             ArrayPtr c(km::Plus(a->get(), a->get()));
                             return Of({c.get()});
                         }});
        cases.push_back({"Times scalar " + size, [b] {
                             ArrayPtr l(km::Times(0.1, b->get()));
                             ArrayPtr r(km::Times(b->get(), 3.0));
                             return Of({l.get(), r.get()});
                         }});
        cases.push_back({"Gt " + size, [a] {
                             ArrayPtr c(km::Gt(a->get(), 0.25));
                             return Of({c.get()});
                         }});
        cases.push_back({"Exp " + size, [a] {
                             ArrayPtr c(km::Exp(a->get()));
                             return Of({c.get()});
                         }});
    }
    return cases;
}

TEST_F(ThreadsTest, EveryThreadCountGivesTheBitsOfOneThread) {
    std::mt19937_64 rng(matrix_test::Seed());
    for (const Case &c : Cases(rng)) {
        km::SetNumThreads(1);
        const Outputs serial = c.call();
        for (unsigned int threads : kThreadCounts) {
            km::SetNumThreads(threads);
            EXPECT_TRUE(c.call() == serial) << c.what << " on " << threads << " threads";
        }
    }
}

TEST_F(ThreadsTest, ConcurrentCallersGetTheBitsOfOneThread) {
    // Each caller works on arrays of its own, equal to everyone else's:
    // arrays that share nothing may be used on different threads. Each
    // caller takes every fourth case, so that different work meets.
    constexpr unsigned int kCallers = 4;
    std::vector<std::vector<Case>> own;
    for (unsigned int t = 0; t < kCallers; ++t) {
        std::mt19937_64 rng(matrix_test::Seed() + 1);
        own.push_back(Cases(rng));
    }
    km::SetNumThreads(1);
    std::vector<Outputs> serial;
    for (const Case &c : own[0]) serial.push_back(c.call());
    km::SetNumThreads(2);
    std::vector<std::vector<std::string>> wrong(kCallers);
    std::vector<std::thread> callers;
    for (unsigned int t = 0; t < kCallers; ++t) {
        callers.emplace_back([&, t] {
            for (std::size_t i = t; i < own[t].size(); i += kCallers) {
                if (!(own[t][i].call() == serial[i])) wrong[t].push_back(own[t][i].what);
            }
        });
    }
    for (std::thread &caller : callers) caller.join();
    for (unsigned int t = 0; t < kCallers; ++t)
        EXPECT_EQ(wrong[t], std::vector<std::string>()) << "caller " << t;
}

// 0 asks for every core; 256 is the most, anything above is refused and
// keeps the count.
TEST_F(ThreadsTest, TheCountIsSetUpTo256) {
    km::SetNumThreads(0);
    EXPECT_EQ(km::GetNumThreads(), kernels::AvailableCores());
    km::SetNumThreads(256);
    const Expected tooMany =
        Expected::Throws(km::CFunctionErrorException(L"The number of threads must be at most 256"));
    matrix_test::ExpectRefusals({
        {"257", [] { km::SetNumThreads(257); }, tooMany, {}},
        {"largest", [] { km::SetNumThreads(~0u); }, tooMany, {}},
    });
    EXPECT_EQ(km::GetNumThreads(), 256u);
}

// The pool itself, through the kernels' copy of it.
class PoolTest : public ::testing::Test {
protected:
    void TearDown() override { kernels::SetThreadCount(0); }
};

TEST_F(PoolTest, PiecesCoverTheRangeOnceInWholeGrains) {
    const struct {
        std::size_t count, grain;
    } rows[] = {{0, 1}, {1, 1}, {5, 0}, {7, 8}, {8, 8}, {9, 8}, {100, 7}, {4096, 12}, {100000, 3}};
    for (unsigned int threads : {1u, 2u, 3u, 8u}) {
        kernels::SetThreadCount(threads);
        for (const auto &row : rows) {
            std::vector<std::atomic<int>> seen(row.count);
            std::atomic<bool> aligned{true};
            kernels::ParallelFor(row.count, row.grain, [&](std::size_t begin, std::size_t end) {
                if (row.grain > 1 && begin % row.grain != 0) aligned = false;
                if (row.grain > 1 && end % row.grain != 0 && end != row.count) aligned = false;
                for (std::size_t i = begin; i < end; ++i) ++seen[i];
            });
            int wrong = 0;
            for (const std::atomic<int> &s : seen) wrong += s.load() != 1;
            EXPECT_EQ(wrong, 0) << row.count << " by " << row.grain << " on " << threads;
            EXPECT_TRUE(aligned.load()) << row.count << " by " << row.grain << " on " << threads;
        }
    }
}

// After a call the workers watch briefly for the next one, then sleep: an
// idle pool uses no processor time.
TEST_F(PoolTest, AnIdlePoolSleeps) {
    kernels::SetThreadCount(4);
    std::atomic<long> sum{0};
    kernels::ParallelFor(64, 1, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) sum += long(i);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto cpu = [] {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
    };
    const double before = cpu();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_LT(cpu() - before, 0.02);
    EXPECT_EQ(sum.load(), 63 * 64 / 2);
}

TEST_F(PoolTest, NestedWorkStaysOnItsThread) {
    kernels::SetThreadCount(4);
    std::atomic<int> wrong{0};
    kernels::ParallelFor(64, 1, [&](std::size_t begin, std::size_t end) {
        const std::thread::id self = std::this_thread::get_id();
        kernels::ParallelFor(1000, 1, [&](std::size_t b, std::size_t e) {
            if (std::this_thread::get_id() != self || b != 0 || e != 1000) ++wrong;
        });
        (void)begin;
        (void)end;
    });
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(PoolTest, APieceFailureReachesTheCaller) {
    // Of several failures the caller sees the one nearest the start of the
    // range, whichever thread ran it; an allocation failure is not lost.
    for (unsigned int threads : {1u, 2u, 3u, 8u}) {
        kernels::SetThreadCount(threads);
        try {
            kernels::ParallelFor(1000, 10, [](std::size_t begin, std::size_t) {
                if (begin == 0) throw std::bad_alloc();
                if (begin >= 500) throw std::runtime_error("later piece");
            });
            ADD_FAILURE() << "nothing thrown on " << threads;
        } catch (const std::bad_alloc &) {
        } catch (...) {
            ADD_FAILURE() << "another exception on " << threads;
        }
        // The pool still works after a failure.
        std::atomic<std::size_t> sum{0};
        kernels::ParallelFor(1000, 10,
                             [&](std::size_t begin, std::size_t end) { sum += end - begin; });
        EXPECT_EQ(sum.load(), 1000u) << threads;
    }
}

TEST_F(PoolTest, ABusyPoolLeavesOtherCallersOnTheirOwnThreads) {
    kernels::SetThreadCount(2);
    std::atomic<bool> release{false};
    std::atomic<bool> holding{false};
    std::thread owner([&] {
        kernels::ParallelFor(2, 1, [&](std::size_t, std::size_t) {
            holding = true;
            while (!release) std::this_thread::yield();
        });
    });
    while (!holding) std::this_thread::yield();
    const std::thread::id self = std::this_thread::get_id();
    std::atomic<int> elsewhere{0};
    kernels::ParallelFor(100, 1, [&](std::size_t, std::size_t) {
        if (std::this_thread::get_id() != self) ++elsewhere;
    });
    release = true;
    owner.join();
    EXPECT_EQ(elsewhere.load(), 0);
}

// ThreadSanitizer does not follow a child that starts threads after the
// fork of a process with threads (GCC and clang say it differently).
#if defined(__SANITIZE_THREAD__)
#define MATRIX_TEST_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define MATRIX_TEST_TSAN 1
#endif
#endif
#if !defined(MATRIX_TEST_TSAN)
TEST_F(PoolTest, AForkedChildStartsItsOwnWorkers) {
    kernels::SetThreadCount(3);
    std::atomic<std::size_t> sum{0};
    auto add = [&](std::size_t begin, std::size_t end) { sum += end - begin; };
    kernels::ParallelFor(1000, 10, add);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        sum = 0;
        kernels::ParallelFor(1000, 10, add);
        _exit(sum.load() == 1000 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
#endif

}  // namespace
