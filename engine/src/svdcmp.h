// Singular value decomposition by the Golub-Reinsch algorithm (Householder
// bidiagonalisation followed by implicitly shifted QR sweeps), and the
// minimum-norm least-squares solution built on it. Matrices are stored by
// columns (column-major), as the work runs down columns.
#pragma once

#include <span>

namespace trimcore {

// QR sweeps allowed per singular value before the decomposition gives up.
inline constexpr int kSvdMaxSweeps = 30;

// Decomposes the rows x cols matrix a as a = U diag(w) V^T, for any shape,
// including fewer rows than columns.
//
//   a   rows * cols values, column-major; replaced by U (rows x cols). Columns of U whose
//       singular value is zero may be zero.
//   w   cols values: the singular values, non-negative, in no particular order.
//   v   cols * cols values: V (not transposed, column-major), orthogonal.
//
// Returns false when a singular value has not converged after maxSweeps
// sweeps: the decomposition stops there and a, w and v hold the partial
// result. Every loop has a fixed bound, so input holding NaN or infinity ends
// (normally with false) and never hangs. Allocates two scratch vectors, of
// cols and of max(rows, cols) values.
bool Svdcmp(std::span<double> a, int rows, int cols, std::span<double> w, std::span<double> v,
            int maxSweeps = kSvdMaxSweeps);

// Sets every singular value smaller than relative * (largest singular value)
// to zero.
void ZeroSmallSingularValues(std::span<double> w, double relative);

// x = V diag(1/w_k) U^T b, with the terms of zero w_k left out: after
// ZeroSmallSingularValues, the minimum-norm least-squares solution of
// a x = b. u is rows x cols, v cols x cols (both column-major), b has rows
// values, x cols.
void SolveFromSvd(std::span<const double> u, std::span<const double> w, std::span<const double> v,
                  int rows, int cols, std::span<const double> b, std::span<double> x);

}  // namespace trimcore
