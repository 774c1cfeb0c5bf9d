#include "svdcmp.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace trimcore {

namespace {

// Column-major access to a matrix held in a flat array: a column is
// contiguous, so the column operations that dominate the work run through
// memory in order.
struct Matrix {
    double* p;
    int rows;
    double* Column(int c) const { return p + static_cast<long>(c) * rows; }
    double& operator()(int r, int c) const { return Column(c)[r]; }
};

// The Householder diagonal value: |norm| with the sign opposite to the
// leading element, so that leading - value never cancels.
double AwayFrom(double norm, double leading) {
    return leading >= 0.0 ? -norm : norm;
}

// An off-diagonal or diagonal element that is rounding noise beside the
// matrix norm. Written as a product so that a zero norm (zero matrix) still
// counts exact zeros as negligible.
bool Negligible(double x, double norm) {
    return std::fabs(x) <= std::numeric_limits<double>::epsilon() * norm;
}

// Plane rotation of columns i and j:
// (x_i, x_j) <- (c x_i + s x_j, c x_j - s x_i).
void RotateColumns(Matrix m, int i, int j, double c, double s) {
    double* __restrict ci = m.Column(i);
    double* __restrict cj = m.Column(j);
    for (int r = 0; r < m.rows; ++r) {
        const double x = ci[r], y = cj[r];
        ci[r] = x * c + y * s;
        cj[r] = y * c - x * s;
    }
}

double Dot(const double* __restrict x, const double* __restrict y, int from, int to) {
    double sum = 0.0;
    for (int k = from; k < to; ++k) sum += x[k] * y[k];
    return sum;
}

// y += factor * x over [from, to).
void Axpy(double factor, const double* __restrict x, double* __restrict y, int from, int to) {
    for (int k = from; k < to; ++k) y[k] += factor * x[k];
}

// Reduces A to upper bidiagonal form B = Q^T A P by alternating Householder
// reflections: from the left to clear column i below the diagonal, from the
// right to clear row i beyond the superdiagonal. The diagonal goes to w, the
// superdiagonal to e (e[i] couples w[i-1] and w[i]; e[0] is 0). The
// reflection vectors stay in A: column i below and on the diagonal for Q,
// row i right of the diagonal for P. Returns max |w_i| + |e_i|, the scale
// for the negligibility tests.
double Bidiagonalise(Matrix A, int cols, double* w, double* e, double* rowDot) {
    const int rows = A.rows;
    double norm = 0.0;
    double g = 0.0, scale = 0.0;
    for (int i = 0; i < cols; ++i) {
        e[i] = scale * g;
        g = scale = 0.0;

        // Left reflection on rows i..rows-1 of column i. The column is scaled
        // by its 1-norm first so that the sum of squares cannot overflow.
        if (i < rows) {
            for (int k = i; k < rows; ++k) scale += std::fabs(A(k, i));
            if (scale != 0.0) {
                double ss = 0.0;
                for (int k = i; k < rows; ++k) {
                    A(k, i) /= scale;
                    ss += A(k, i) * A(k, i);
                }
                const double f = A(i, i);
                g = AwayFrom(std::sqrt(ss), f);
                const double h = f * g - ss;  // -|u|^2 / 2
                A(i, i) = f - g;
                const double* u = A.Column(i);
                for (int j = i + 1; j < cols; ++j)
                    Axpy(Dot(u, A.Column(j), i, rows) / h, u, A.Column(j), i, rows);
                for (int k = i; k < rows; ++k) A(k, i) *= scale;
            }
        }
        w[i] = scale * g;
        g = scale = 0.0;

        // Right reflection on columns i+1..cols-1 of row i.
        if (i < rows && i + 1 < cols) {
            for (int k = i + 1; k < cols; ++k) scale += std::fabs(A(i, k));
            if (scale != 0.0) {
                double ss = 0.0;
                for (int k = i + 1; k < cols; ++k) {
                    A(i, k) /= scale;
                    ss += A(i, k) * A(i, k);
                }
                const double f = A(i, i + 1);
                g = AwayFrom(std::sqrt(ss), f);
                const double h = f * g - ss;
                A(i, i + 1) = f - g;
                // Every row r below: A(r, :) += (A(r, :) . u) u / h, done a
                // column at a time through the row products in rowDot.
                std::fill(rowDot + i + 1, rowDot + rows, 0.0);
                for (int k = i + 1; k < cols; ++k) Axpy(A(i, k), A.Column(k), rowDot, i + 1, rows);
                for (int k = i + 1; k < cols; ++k)
                    Axpy(A(i, k) / h, rowDot, A.Column(k), i + 1, rows);
                for (int k = i + 1; k < cols; ++k) A(i, k) *= scale;
            }
        }
        norm = std::max(norm, std::fabs(w[i]) + std::fabs(e[i]));
    }
    return norm;
}

// Forms V = P_0 P_1 ... from the right reflections kept in the rows of A,
// working backwards so that each product touches only the trailing block.
// The reflection of row i is I + u u^T / h with u = A(i, i+1..) and
// h = A(i, i+1) * e[i+1]; e[i+1] = 0 means there was none.
void AccumulateRight(Matrix A, int cols, const double* e, Matrix V, double* scratch) {
    for (int i = cols - 1; i >= 0; --i) {
        const int l = i + 1;
        if (l < cols) {
            if (e[l] != 0.0) {
                // Two divisions rather than dividing by the product, which
                // could underflow.
                for (int k = l; k < cols; ++k) scratch[k] = (A(i, k) / A(i, l)) / e[l];
                for (int j = l; j < cols; ++j) {
                    double dot = 0.0;
                    for (int k = l; k < cols; ++k) dot += A(i, k) * V(k, j);
                    for (int k = l; k < cols; ++k) V(k, j) += dot * scratch[k];
                }
            }
            for (int j = l; j < cols; ++j) V(i, j) = V(j, i) = 0.0;
        }
        V(i, i) = 1.0;
    }
}

// Overwrites A with U = Q_0 Q_1 ... applied to the leading columns of the
// identity, backwards as for V. The reflection of column i is
// I + u u^T / h with u = A(i.., i) and h = A(i, i) * w[i]; its image of the
// unit vector e_i is e_i + u / w[i]. With fewer rows than columns, the
// columns from rows on stay zero.
void AccumulateLeft(Matrix A, int cols, const double* w) {
    const int rows = A.rows;
    for (int i = std::min(rows, cols) - 1; i >= 0; --i) {
        const int l = i + 1;
        for (int j = l; j < cols; ++j) A(i, j) = 0.0;
        if (w[i] != 0.0) {
            const double inv = 1.0 / w[i];
            const double* u = A.Column(i);
            for (int j = l; j < cols; ++j) {
                const double factor = (Dot(u, A.Column(j), l, rows) / A(i, i)) * inv;
                Axpy(factor, u, A.Column(j), i, rows);
            }
            for (int k = i; k < rows; ++k) A(k, i) *= inv;
        } else {
            for (int k = i; k < rows; ++k) A(k, i) = 0.0;
        }
        A(i, i) += 1.0;
    }
}

// w[l-1] is negligible while e[l] is not: rotations from the left between
// row l-1 and rows l..k chase e[l] off the end of the block, which then
// splits at l.
void CancelSuperdiagonal(Matrix U, double* w, double* e, int l, int k, double norm) {
    double c = 0.0, s = 1.0;
    for (int i = l; i <= k; ++i) {
        const double f = s * e[i];
        e[i] *= c;
        if (Negligible(f, norm)) break;
        const double g = w[i];
        const double h = std::hypot(f, g);
        w[i] = h;
        c = g / h;
        s = -f / h;
        RotateColumns(U, l - 1, i, c, s);
    }
}

// One implicitly shifted QR sweep over the unreduced block l..k: the shift is
// the eigenvalue of the trailing 2 x 2 of B^T B nearer its last diagonal
// element, the first rotation is chosen from the first column of
// B^T B - shift, and the bulge it creates is chased down the block by
// alternating right (V) and left (U) rotations.
void QrSweep(Matrix U, Matrix V, double* w, double* e, int l, int k) {
    const double z = w[k];
    const double y = w[k - 1], g = e[k - 1], h = e[k];
    // With t the ratio below, the shift is z^2 + h^2 - y h / (t + sign(t) sqrt(1 + t^2)).
    double t = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
    const double root = std::hypot(t, 1.0);
    double x = w[l];
    // (x^2 - shift) / x: the first column of B^T B - shift, divided by x.
    double f = ((x - z) * (x + z) + h * (y / (t + (t >= 0.0 ? root : -root)) - h)) / x;

    double c = 1.0, s = 1.0;
    for (int j = l; j < k; ++j) {
        const int i = j + 1;
        double gi = e[i], yi = w[i];
        double hi = s * gi;
        gi *= c;
        // Right rotation of columns j and i: clears the bulge above the
        // superdiagonal (or, first time round, applies the shift).
        double r = std::hypot(f, hi);
        e[j] = r;
        c = f / r;
        s = hi / r;
        f = x * c + gi * s;
        gi = gi * c - x * s;
        hi = yi * s;
        yi *= c;
        RotateColumns(V, j, i, c, s);
        // Left rotation of rows j and i: clears the bulge below the diagonal.
        r = std::hypot(f, hi);
        w[j] = r;
        if (r != 0.0) {  // otherwise any rotation will do: keep the last one
            c = f / r;
            s = hi / r;
        }
        f = c * gi + s * yi;
        x = c * yi - s * gi;
        RotateColumns(U, j, i, c, s);
    }
    e[l] = 0.0;
    e[k] = f;
    w[k] = x;
}

}  // namespace

bool Svdcmp(std::span<double> a, int rows, int cols, std::span<double> w, std::span<double> v,
            int maxSweeps) {
    const Matrix A{a.data(), rows};
    const Matrix V{v.data(), cols};
    std::vector<double> e(static_cast<size_t>(cols), 0.0);
    std::vector<double> scratch(static_cast<size_t>(std::max(rows, cols)), 0.0);

    const double norm = Bidiagonalise(A, cols, w.data(), e.data(), scratch.data());
    AccumulateRight(A, cols, e.data(), V, scratch.data());
    AccumulateLeft(A, cols, w.data());

    // Diagonalise the bidiagonal form from the bottom up: each singular value
    // is finished when the superdiagonal element above it is negligible.
    for (int k = cols - 1; k >= 0; --k) {
        for (int sweep = 0;; ++sweep) {
            // Find the top l of the unreduced block ending at k. e[0] is zero
            // by construction, so l = 0 always ends the search, even when the
            // norm is not a number.
            int l = k;
            bool cancel = false;
            for (; l > 0; --l) {
                if (Negligible(e[l], norm)) break;
                if (Negligible(w[l - 1], norm)) {
                    cancel = true;
                    break;
                }
            }
            if (cancel) CancelSuperdiagonal(A, w.data(), e.data(), l, k, norm);

            if (l == k) {
                // Converged; singular values are non-negative.
                if (w[k] < 0.0) {
                    w[k] = -w[k];
                    for (int r = 0; r < cols; ++r) V(r, k) = -V(r, k);
                }
                break;
            }
            if (sweep >= maxSweeps) return false;
            QrSweep(A, V, w.data(), e.data(), l, k);
        }
    }
    return true;
}

void ZeroSmallSingularValues(std::span<double> w, double relative) {
    double largest = 0.0;
    for (double x : w) largest = std::max(largest, x);
    const double threshold = relative * largest;
    for (double& x : w)
        if (x < threshold) x = 0.0;
}

void SolveFromSvd(std::span<const double> u, std::span<const double> w, std::span<const double> v,
                  int rows, int cols, std::span<const double> b, std::span<double> x) {
    // c = diag(1/w) U^T b, then x = V c.
    std::vector<double> c(static_cast<size_t>(cols), 0.0);
    for (int j = 0; j < cols; ++j) {
        if (w[j] == 0.0) continue;
        c[j] = Dot(&u[static_cast<size_t>(j) * rows], b.data(), 0, rows) / w[j];
    }
    for (int i = 0; i < cols; ++i) {
        double sum = 0.0;
        for (int j = 0; j < cols; ++j) sum += v[static_cast<size_t>(j) * cols + i] * c[j];
        x[i] = sum;
    }
}

}  // namespace trimcore
