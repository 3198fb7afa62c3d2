// Host SDK stand-in: the double-precision math types (vector, 3 x 3 matrix, rotation).
//
// Header-only: nothing here needs the session state that lives in tsl_xsi.
//
// Rotation convention. CRotation::SetFromAxisAngle(axis, angle) is the right-handed rotation by
// angle (radians) about axis: looking down the axis towards its origin, points turn
// counter-clockwise. GetMatrix() returns that rotation's matrix in column-vector form, M such
// that M * v (v as a column) is v rotated; GetValue(row, col) reads its elements. A point taken
// as a row vector and multiplied on the left, v * M (= Mt * v), is therefore rotated by the
// opposite angle: the inverse rotation. CVector3::MulByMatrix3InPlace is that row-vector
// product. Under it, rotating a vector n about (a x n) by the angle between a and n takes n onto
// a, which is what a planar projection built from such pairs relies on.
#pragma once

#include <cmath>

#include "xsi_core.h"

namespace XSI::MATH {

class CMatrix3;

class CVector3 {
 public:
  CVector3() = default;
  CVector3(double x, double y, double z) : x_(x), y_(y), z_(z) {}

  double GetX() const { return x_; }
  double GetY() const { return y_; }
  double GetZ() const { return z_; }
  void PutX(double x) { x_ = x; }
  void PutY(double y) { y_ = y; }
  void PutZ(double z) { z_ = z; }
  void Get(double& x, double& y, double& z) const {
    x = x_;
    y = y_;
    z = z_;
  }
  CVector3& Set(double x, double y, double z) {
    x_ = x;
    y_ = y;
    z_ = z;
    return *this;
  }

  double GetLengthSquared() const { return x_ * x_ + y_ * y_ + z_ * z_; }
  double GetLength() const { return std::sqrt(GetLengthSquared()); }

  // Scales to unit length. A zero vector (or one whose length is not a finite positive number)
  // is left as it is and the call fails.
  CStatus NormalizeInPlace() {
    const double len = GetLength();
    if (!(len > 0.0) || !std::isfinite(len)) return CStatus::Fail;
    x_ /= len;
    y_ /= len;
    z_ /= len;
    return CStatus::OK;
  }

  double Dot(const CVector3& v) const { return x_ * v.x_ + y_ * v.y_ + z_ * v.z_; }

  // this = a x b (the host's form: the result goes into the vector it is called on).
  CVector3& Cross(const CVector3& a, const CVector3& b) {
    return Set(a.y_ * b.z_ - a.z_ * b.y_, a.z_ * b.x_ - a.x_ * b.z_, a.x_ * b.y_ - a.y_ * b.x_);
  }

  // Angle between this and v in [0, pi], in radians; 0 when either is a zero vector. atan2 of
  // |a x b| and a.b stays accurate near 0 and pi, where acos of a rounded cosine does not.
  double GetAngle(const CVector3& v) const {
    if (GetLengthSquared() == 0.0 || v.GetLengthSquared() == 0.0) return 0.0;
    CVector3 c;
    c.Cross(*this, v);
    const double a = std::atan2(c.GetLength(), Dot(v));
    return std::isfinite(a) ? a : 0.0;
  }

  // this = this * m, this as a row vector on the left.
  inline CVector3& MulByMatrix3InPlace(const CMatrix3& m);

  friend bool operator==(const CVector3&, const CVector3&) = default;

 private:
  double x_ = 0.0, y_ = 0.0, z_ = 0.0;
};

class CMatrix3 {
 public:
  // The identity.
  CMatrix3() = default;
  CMatrix3(double m00, double m01, double m02, double m10, double m11, double m12, double m20,
           double m21, double m22)
      : m_{{m00, m01, m02}, {m10, m11, m12}, {m20, m21, m22}} {}

  // Element in row (0..2), column (0..2).
  double GetValue(short row, short col) const { return m_[row][col]; }
  void SetValue(short row, short col, double v) { m_[row][col] = v; }

 private:
  double m_[3][3] = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
};

inline CVector3& CVector3::MulByMatrix3InPlace(const CMatrix3& m) {
  return Set(x_ * m.GetValue(0, 0) + y_ * m.GetValue(1, 0) + z_ * m.GetValue(2, 0),
             x_ * m.GetValue(0, 1) + y_ * m.GetValue(1, 1) + z_ * m.GetValue(2, 1),
             x_ * m.GetValue(0, 2) + y_ * m.GetValue(1, 2) + z_ * m.GetValue(2, 2));
}

class CRotation {
 public:
  // The identity.
  CRotation() = default;

  // Right-handed rotation by angle (radians) about axis; the axis need not be unit length. A
  // zero axis (or one that is not finite) has no direction to turn about: the identity.
  CRotation& SetFromAxisAngle(const CVector3& axis, double angle) {
    CVector3 k = axis;
    if (!k.NormalizeInPlace().Succeeded() || !std::isfinite(angle)) {
      m_ = CMatrix3();
      return *this;
    }
    // Rodrigues: M = cI + s[k]x + (1 - c)kk^T.
    const double c = std::cos(angle), s = std::sin(angle), u = 1.0 - c;
    const double x = k.GetX(), y = k.GetY(), z = k.GetZ();
    m_ = CMatrix3(c + u * x * x, u * x * y - s * z, u * x * z + s * y, u * y * x + s * z,
                  c + u * y * y, u * y * z - s * x, u * z * x - s * y, u * z * y + s * x,
                  c + u * z * z);
    return *this;
  }

  // The rotation's matrix in column-vector form (see the convention at the top).
  CMatrix3 GetMatrix() const { return m_; }

 private:
  CMatrix3 m_;
};

}  // namespace XSI::MATH
