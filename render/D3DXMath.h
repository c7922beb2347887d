#pragma once
// Matrix, vector and plane helpers with the left-handed, row-vector meaning
// of the classic D3DX library, built on GLM.
//
// A glm::mat4 holds the same 16 floats in memory as a row-major, row-vector
// matrix of the same transform: element _RC (row R, column C, 1-based) of the
// row-vector matrix is m[R-1][C-1] here. "A then B" is D3DXMatrixMultiply(A, B),
// which is B * A in GLM terms.
#include <glm/glm.hpp>

using D3DXMATRIX = glm::mat4;
using D3DXVECTOR3 = glm::vec3;
using D3DXPLANE = glm::vec4; // a, b, c, d: a*x + b*y + c*z + d = 0

// Perspective projection, left-handed, depth 0..1.
D3DXMATRIX D3DXMatrixPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar);
// View matrix, left-handed.
D3DXMATRIX D3DXMatrixLookAtLH(const D3DXVECTOR3& eye, const D3DXVECTOR3& at, const D3DXVECTOR3& up);
// Rotation by `angle` radians about `axis` (normalised here), clockwise when
// looking along the axis towards the origin, as the left-handed library does.
D3DXMATRIX D3DXMatrixRotationAxis(const D3DXVECTOR3& axis, float angle);
// a then b.
D3DXMATRIX D3DXMatrixMultiply(const D3DXMATRIX& a, const D3DXMATRIX& b);
// The inverse of m; a singular m gives non-finite elements.
D3DXMATRIX D3DXMatrixInverse(const D3DXMATRIX& m);
// (v, 1) times m, divided by the resulting w.
D3DXVECTOR3 D3DXVec3TransformCoord(const D3DXVECTOR3& v, const D3DXMATRIX& m);
// Zero vector stays zero.
D3DXVECTOR3 D3DXVec3Normalize(const D3DXVECTOR3& v);
// Divides all four terms by the length of (a, b, c); a zero normal stays zero.
D3DXPLANE D3DXPlaneNormalize(const D3DXPLANE& p);

// Element _RC (1-based) of a row-vector matrix.
inline float& MatrixElement(D3DXMATRIX& m, int row, int col) { return m[row - 1][col - 1]; }
inline float MatrixElement(const D3DXMATRIX& m, int row, int col) { return m[row - 1][col - 1]; }
