// The decomposition and the least-squares solve, against Eigen as an
// independent oracle.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <limits>
#include <random>
#include <vector>

#include "svdcmp.h"

using namespace trimcore;
using Eigen::MatrixXd;  // column-major, as Svdcmp stores
using Eigen::VectorXd;

namespace {

struct Decomposition {
    MatrixXd u;
    VectorXd w;
    MatrixXd v;
    bool converged;
};

Decomposition Decompose(const MatrixXd& a, int maxSweeps = kSvdMaxSweeps) {
    const int rows = static_cast<int>(a.rows()), cols = static_cast<int>(a.cols());
    Decomposition d{a, VectorXd::Zero(cols), MatrixXd::Zero(cols, cols), false};
    d.converged = Svdcmp({d.u.data(), size_t(d.u.size())}, rows, cols, {d.w.data(), size_t(cols)},
                         {d.v.data(), size_t(d.v.size())}, maxSweeps);
    return d;
}

// The minimum-norm least-squares solution through our decomposition.
VectorXd Solve(const MatrixXd& a, const VectorXd& b) {
    Decomposition d = Decompose(a);
    const int rows = static_cast<int>(a.rows()), cols = static_cast<int>(a.cols());
    ZeroSmallSingularValues({d.w.data(), size_t(cols)}, 1e-5);
    VectorXd x(cols);
    SolveFromSvd({d.u.data(), size_t(d.u.size())}, {d.w.data(), size_t(cols)},
                 {d.v.data(), size_t(d.v.size())}, rows, cols, {b.data(), size_t(rows)},
                 {x.data(), size_t(cols)});
    return x;
}

MatrixXd Random(int rows, int cols, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    return MatrixXd::NullaryExpr(rows, cols, [&] { return u(rng); });
}

// The shapes the fit meets (2n x 8, 2n x 4, 2n x 2, one observation) and
// others: exact rank deficiency, fewer rows than columns, and one row far
// larger than the rest (a star near the pole).
std::vector<std::pair<const char*, MatrixXd>> Cases() {
    std::mt19937_64 rng(20240611);
    std::vector<std::pair<const char*, MatrixXd>> cases{{"square 8x8", Random(8, 8, rng)},
                                                        {"full rank 60x8", Random(60, 8, rng)},
                                                        {"tall 1998x8", Random(1998, 8, rng)},
                                                        {"tall 1998x2", Random(1998, 2, rng)},
                                                        {"recalibration 40x4", Random(40, 4, rng)},
                                                        {"one observation 2x8", Random(2, 8, rng)},
                                                        {"wide 5x8", Random(5, 8, rng)},
                                                        {"one row 1x8", Random(1, 8, rng)},
                                                        {"rank 6 of 30x8", Random(30, 8, rng)},
                                                        {"rank 5 of 6x8", Random(6, 8, rng)},
                                                        {"one row 2e6 larger", Random(30, 8, rng)}};
    cases[8].second.col(7) = cases[8].second.col(2) - 0.5 * cases[8].second.col(3);
    cases[8].second.col(5) = cases[8].second.col(0);
    cases[9].second.row(5) = 2.0 * cases[9].second.row(1);
    cases[10].second.row(4) *= 2e6;
    return cases;
}

}  // namespace

TEST(Svdcmp, AgreesWithEigenOnEveryShape) {
    std::mt19937_64 rng(7);
    for (const auto& [name, a] : Cases()) {
        SCOPED_TRACE(name);
        const Decomposition d = Decompose(a);
        ASSERT_TRUE(d.converged);
        const double scale = a.norm();

        // The singular values of Eigen (zero beyond the row count).
        const Eigen::JacobiSVD<MatrixXd> jacobi(a, Eigen::ComputeThinU | Eigen::ComputeThinV);
        VectorXd expected = VectorXd::Zero(a.cols());
        expected.head(jacobi.singularValues().size()) = jacobi.singularValues();
        VectorXd got = d.w;
        std::sort(got.data(), got.data() + got.size(), std::greater<>());
        EXPECT_GE(got.minCoeff(), 0.0);
        EXPECT_LT((got - expected).cwiseAbs().maxCoeff(), 1e-13 * scale);

        // A factorisation with orthogonal V.
        EXPECT_LT((d.u * d.w.asDiagonal() * d.v.transpose() - a).cwiseAbs().maxCoeff(),
                  1e-13 * scale);
        EXPECT_TRUE((d.v.transpose() * d.v).isIdentity(1e-13));

        // The same minimum-norm solution after the 1e-5 threshold.
        const VectorXd b = Random(static_cast<int>(a.rows()), 1, rng);
        Eigen::JacobiSVD<MatrixXd> j2 = jacobi;
        j2.setThreshold(1e-5);
        Eigen::BDCSVD<MatrixXd> bdc(a, Eigen::ComputeThinU | Eigen::ComputeThinV);
        bdc.setThreshold(1e-5);
        const VectorXd ours = Solve(a, b), viaJacobi = j2.solve(b);
        const double tol = 1e-10 * std::max(1.0, viaJacobi.norm());
        EXPECT_LT((ours - viaJacobi).cwiseAbs().maxCoeff(), tol);
        EXPECT_LT((ours - bdc.solve(b)).cwiseAbs().maxCoeff(), tol);
    }
}

TEST(Svdcmp, ThresholdDropsDirectionsBelowTheRelativeLimit) {
    // Two columns 1e-7 apart: their difference falls under the threshold and
    // the solution shares the common part instead of blowing up along it.
    MatrixXd a(4, 2);
    a << 1, 1 + 1e-7, 2, 2, 3, 3 - 1e-7, 4, 4;
    VectorXd b(4);
    b << 1, 2, 3, 4.001;
    const VectorXd x = Solve(a, b);
    EXPECT_NEAR(x[0], x[1], 1e-7);
    EXPECT_NEAR(x[0] + x[1], a.col(0).dot(b) / a.col(0).squaredNorm(), 1e-6);

    // Smaller than the limit goes, the limit itself stays.
    const double limit = 1e-5 * 8.0;
    std::vector<double> w{8.0, limit * (1 - 1e-12), limit, 0.5};
    ZeroSmallSingularValues(w, 1e-5);
    EXPECT_EQ(w, (std::vector<double>{8.0, 0.0, limit, 0.5}));
}

TEST(Svdcmp, NonNumbersAndTheSweepLimitEndWithoutConvergence) {
    std::mt19937_64 rng(3);
    for (double bad :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        for (int where : {0, 17, 59}) {
            MatrixXd a = Random(30, 8, rng);
            a(where % 30, where % 8) = bad;
            EXPECT_FALSE(Decompose(a).converged) << bad << " at " << where;
        }
    }
    const MatrixXd a = Random(20, 8, rng);
    EXPECT_FALSE(Decompose(a, 1).converged);
    EXPECT_TRUE(Decompose(a).converged);
    // Zero and empty matrices converge at once to zero singular values.
    EXPECT_TRUE(Decompose(MatrixXd::Zero(3, 4)).w.isZero(0.0));
    EXPECT_TRUE(Solve(MatrixXd::Zero(0, 4), VectorXd::Zero(0)).isZero(0.0));
}
