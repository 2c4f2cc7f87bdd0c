// tests/core/concurrency_test.cpp: four threads at once on arrays that share
// data, with the library's own threads working inside their calls. CI runs
// it under ThreadSanitizer as well.
#include <gtest/gtest.h>
#include <kiv/random.h>

#include <matrix/array.h>
#include <matrix/matrix.h>

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/matrix_test.h"

namespace {

namespace km = kiv::matrix;
using km::Array;
using Bits = std::vector<std::uint64_t>;

constexpr unsigned int kThreads = 4;
constexpr int kRounds = 2;

// Inputs just past the points where the library splits work among its
// threads: element-wise work from 2^18 elements, gathers from 2^16
// positions, reductions of 128 x 1031, products from 2^20 multiplications.
struct Inputs {
    Array vector;  // (2^18 + 4097) x 1
    Array index;   // 1 x (2^16 + 4097) positions into vector
    Array wide;    // 128 x 1031
    Array square;  // 130 x 130, well conditioned
    Array rhs;     // 130 x 8
};

Array Normal(unsigned int m, unsigned int n, std::mt19937_64 &rng, double diagonal = 0) {
    std::normal_distribution<double> normal;
    std::vector<double> values(std::size_t{m} * n);
    for (std::size_t k = 0; k < values.size(); ++k) {
        values[k] = normal(rng) + (k % m == k / m ? diagonal : 0);
    }
    return Array(m, n, values);
}

Inputs MakeInputs(std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    Inputs in{Normal((1u << 18) + 4097, 1, rng), Array(), Normal(128, 1031, rng),
              Normal(130, 130, rng, 8.0), Normal(130, 8, rng)};
    std::uniform_int_distribution<unsigned int> position(1, (1u << 18) + 4097);
    std::vector<double> index((1u << 16) + 4097);
    for (double &p : index) p = position(rng);
    in.index = Array(1, static_cast<unsigned int>(index.size()), index);
    return in;
}

// One operation of each kind the library splits among threads.
struct Operation {
    std::string what;
    std::function<Array(const Inputs &)> run;
};

const std::vector<Operation> &Operations() {
    static const std::vector<Operation> operations = {
        {"Plus", [](const Inputs &in) { return in.vector + in.vector; }},
        {"Times scalar", [](const Inputs &in) { return in.vector * 0.5; }},
        {"Indexref", [](const Inputs &in) { return Array(in.vector(in.index)); }},
        {"Sum", [](const Inputs &in) { return km::Sum(in.wide, km::Dim(1)); }},
        {"Max along 2", [](const Inputs &in) { return Array::Adopt(km::Max(in.wide.get(), 2)); }},
        {"Mtimes", [](const Inputs &in) { return in.square * in.square; }},
        {"Mldivide", [](const Inputs &in) { return km::Mldivide(in.square, in.rhs); }},
    };
    return operations;
}

Bits BitsOf(const Array &a) { return matrix_test::BitsOf(a.get()); }

// Draws of the calling thread's generators after seeding them with `seed`.
std::vector<Bits> Draws(std::uint64_t seed) {
    kiv::RandSeed(seed);
    const Array uniform = Array::Adopt(km::Rand(40, 40));
    const Array normal = Array::Adopt(km::Randn(40, 40));
    return {BitsOf(uniform), BitsOf(normal)};
}

std::uint16_t Count(const Array &a) {
    std::uint16_t count;
    std::memcpy(&count, static_cast<const char *>(a.get()->GetPr()) - 6, sizeof count);
    return count;
}

// Arrays handed from one thread to the next.
class Mailbox {
public:
    void Put(Array a) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_arrays.push_back(std::move(a));
        m_ready.notify_one();
    }
    Array Take() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_arrays.empty(); });
        Array a = std::move(m_arrays.front());
        m_arrays.pop_front();
        return a;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Array> m_arrays;
};

class ConcurrencyTest : public ::testing::Test {
protected:
    void TearDown() override { km::SetNumThreads(0); }
};

TEST_F(ConcurrencyTest, FourThreadsGetTheBitsOfOneOnSharedArrays) {
    const std::uint64_t seed = matrix_test::Seed();
    const Inputs common = MakeInputs(seed);
    const std::vector<Bits> before = {BitsOf(common.vector), BitsOf(common.square)};

    km::SetNumThreads(1);
    std::vector<Bits> expected;
    for (const Operation &op : Operations()) expected.push_back(BitsOf(op.run(common)));
    std::vector<std::vector<Bits>> draws;
    for (unsigned int t = 0; t < kThreads; ++t) draws.push_back(Draws(seed + t));

    std::size_t product = 0;
    while (Operations()[product].what != "Mtimes") ++product;

    km::SetNumThreads(2);
    std::vector<Mailbox> boxes(kThreads);
    std::vector<std::vector<std::string>> wrong(kThreads);
    std::vector<std::thread> threads;
    for (unsigned int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            auto check = [&](bool same, const std::string &what) {
                if (!same) wrong[t].push_back(what);
            };
            for (int round = 0; round < kRounds; ++round) {
                // Copies of the common inputs share their buffers with every
                // other thread's copies (threads_test.cpp has callers on
                // arrays that share nothing).
                const Inputs shared = common;
                check(Draws(seed + t) == draws[t], "Rand and Randn");
                for (std::size_t k = 0; k < Operations().size(); ++k)
                    check(BitsOf(Operations()[k].run(shared)) == expected[k], Operations()[k].what);
                // Shares made and dropped in bulk while the others do the same.
                std::vector<Array> shares(200, shared.vector);
                shares.clear();
                // A writer unshares first; the others keep reading the data.
                Array written = shared.square;
                written.get()->GetOwnCopy();
                km::mxGetPr(written.get())[0] += 1.0;
                // A copy of a shared array goes to the next thread, which
                // computes on it while this one still holds the data.
                boxes[(t + 1) % kThreads].Put(shared.square);
                const Array received = boxes[t].Take();
                check(BitsOf(Array::Adopt(km::Mtimes(received.get(), received.get()))) ==
                          expected[product],
                      "Mtimes of a received copy");
            }
        });
    }
    for (std::thread &thread : threads) thread.join();

    for (unsigned int t = 0; t < kThreads; ++t) {
        for (const std::string &what : wrong[t]) ADD_FAILURE() << what << " on thread " << t;
    }
    EXPECT_TRUE(BitsOf(common.vector) == before[0] && BitsOf(common.square) == before[1]);
    // Every share is gone again: no count change was lost.
    for (const Array *a : {&common.vector, &common.index, &common.wide, &common.square}) {
        EXPECT_EQ(Count(*a), 1);
    }
}

TEST_F(ConcurrencyTest, SharersRacingPastTheFullCountGetCopies) {
    // 4 x 20000 shares of one buffer: exactly 65,534 of them hold it beside
    // the source, whoever wins each race; the rest get copies of their own.
    constexpr int kSharesEach = 20000;
    const Array source = Array::Adopt(km::Eye(4, 4));
    std::vector<std::vector<Array>> held(kThreads);
    std::vector<std::thread> threads;
    for (unsigned int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < kSharesEach; ++k) held[t].push_back(source);
        });
    }
    for (std::thread &thread : threads) thread.join();

    long holding = 0;
    for (const std::vector<Array> &arrays : held) {
        for (const Array &a : arrays) {
            holding += a.get()->GetPr() == source.get()->GetPr();
            ASSERT_TRUE(BitsOf(a) == BitsOf(source));
        }
    }
    EXPECT_EQ(holding, 65534);
    EXPECT_EQ(Count(source), 65535);
    held.clear();
    EXPECT_EQ(Count(source), 1);
}

}  // namespace
