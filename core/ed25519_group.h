// The Edwards curve -x^2 + y^2 = 1 + d x^2 y^2 over a field F (Field51 or Field16): point decoding
// as the signature check needs it, the group law and a variable-time double-scalar multiplication.
// Only public data passes through here, so nothing is constant-time.
//
// Coordinates follow the usual split: Projective (X:Y:Z) for doubling, Extended (X:Y:Z:T with
// XY = ZT) for additions, Completed ((X:Z),(Y:T)) as the output of both, and Cached for a point
// that is added many times. The addition and doubling formulas are complete on this curve (a = -1
// is a square and d is not), so small-order and mixed-order points need no special cases.
#pragma once

#include <cstdint>

#include "core/ed25519_scalar.h"

namespace patcher::ed25519_detail {

template <class F>
struct Curve {
    using Fe = typename F::Element;

    struct Projective {
        Fe X, Y, Z;
    };
    struct Extended {
        Fe X, Y, Z, T;
    };
    struct Completed {
        Fe X, Y, Z, T;
    };
    struct Cached {
        Fe YplusX, YminusX, Z, T2d;
    };

    struct Constants {
        Fe d, d2, sqrt_m1;
    };

    static const Constants& Consts() {
        // d = -121665/121666, 2d, and a square root of -1, little-endian.
        static const std::uint8_t kD[32] = {0xa3, 0x78, 0x59, 0x13, 0xca, 0x4d, 0xeb, 0x75,
                                            0xab, 0xd8, 0x41, 0x41, 0x4d, 0x0a, 0x70, 0x00,
                                            0x98, 0xe8, 0x79, 0x77, 0x79, 0x40, 0xc7, 0x8c,
                                            0x73, 0xfe, 0x6f, 0x2b, 0xee, 0x6c, 0x03, 0x52};
        static const std::uint8_t kSqrtM1[32] = {0xb0, 0xa0, 0x0e, 0x4a, 0x27, 0x1b, 0xee, 0xc4,
                                                 0x78, 0xe4, 0x2f, 0xad, 0x06, 0x18, 0x43, 0x2f,
                                                 0xa7, 0xd7, 0xfb, 0x3d, 0x99, 0x00, 0x4d, 0x2b,
                                                 0x0b, 0xdf, 0xc1, 0x4f, 0x80, 0x24, 0x83, 0x2b};
        static const Constants constants = [] {
            Constants c;
            c.d = F::FromBytes(kD);
            c.d2 = F::Add(c.d, c.d);
            c.sqrt_m1 = F::FromBytes(kSqrtM1);
            return c;
        }();
        return constants;
    }

    static bool IsZero(const Fe& a) {
        std::uint8_t bytes[32];
        F::ToBytes(bytes, a);
        std::uint8_t any = 0;
        for (std::uint8_t b : bytes) any |= b;
        return any == 0;
    }

    static bool IsNegative(const Fe& a) {
        std::uint8_t bytes[32];
        F::ToBytes(bytes, a);
        return (bytes[0] & 1) != 0;
    }

    static Fe SquareTimes(Fe a, int n) {
        for (int i = 0; i < n; ++i) a = F::Sq(a);
        return a;
    }

    // z^(2^250 - 1) and z^11, the common head of the two exponentiation chains below.
    static Fe Pow2to250Minus1(const Fe& z, Fe& z11) {
        const Fe z2 = F::Sq(z);
        const Fe z9 = F::Mul(SquareTimes(z2, 2), z);
        z11 = F::Mul(z9, z2);
        const Fe z_5 = F::Mul(F::Sq(z11), z9);                // 2^5 - 1
        const Fe z_10 = F::Mul(SquareTimes(z_5, 5), z_5);     // 2^10 - 1
        const Fe z_20 = F::Mul(SquareTimes(z_10, 10), z_10);  // 2^20 - 1
        const Fe z_40 = F::Mul(SquareTimes(z_20, 20), z_20);  // 2^40 - 1
        const Fe z_50 = F::Mul(SquareTimes(z_40, 10), z_10);  // 2^50 - 1
        const Fe z_100 = F::Mul(SquareTimes(z_50, 50), z_50);
        const Fe z_200 = F::Mul(SquareTimes(z_100, 100), z_100);
        return F::Mul(SquareTimes(z_200, 50), z_50);  // 2^250 - 1
    }

    // z^((p - 5) / 8) = z^(2^252 - 3), the heart of the square root.
    static Fe PowP58(const Fe& z) {
        Fe z11;
        return F::Mul(SquareTimes(Pow2to250Minus1(z, z11), 2), z);
    }

    // Decodes 32 bytes the way the check requires: y is the low 255 bits taken modulo p (so an
    // unreduced y is accepted), x is recovered from the curve equation and refused only when
    // (y^2 - 1) / (d y^2 + 1) is not a square; the top bit picks the sign of x, and when x = 0
    // a set sign bit is accepted (-0 = 0).
    static bool Decode(const std::uint8_t* s, Extended& p) {
        const Constants& c = Consts();
        p.Y = F::FromBytes(s);
        p.Z = F::One();
        const Fe y2 = F::Sq(p.Y);
        const Fe u = F::Sub(y2, p.Z);               // y^2 - 1
        const Fe v = F::Add(F::Mul(y2, c.d), p.Z);  // d y^2 + 1, never zero
        const Fe v3 = F::Mul(F::Sq(v), v);
        const Fe uv7 = F::Mul(F::Mul(F::Sq(v3), v), u);
        p.X = F::Mul(F::Mul(PowP58(uv7), v3), u);  // candidate root of u / v
        const Fe vxx = F::Mul(F::Sq(p.X), v);
        if (!IsZero(F::Sub(vxx, u))) {
            if (!IsZero(F::Add(vxx, u))) return false;
            p.X = F::Mul(p.X, c.sqrt_m1);
        }
        if (IsNegative(p.X) != ((s[31] >> 7) != 0)) p.X = F::Neg(p.X);
        p.T = F::Mul(p.X, p.Y);
        return true;
    }

    static Extended Negate(const Extended& p) { return {F::Neg(p.X), p.Y, p.Z, F::Neg(p.T)}; }

    static Cached ToCached(const Extended& p) {
        return {F::Add(p.Y, p.X), F::Sub(p.Y, p.X), p.Z, F::Mul(p.T, Consts().d2)};
    }

    static Projective ToProjective(const Completed& p) {
        return {F::Mul(p.X, p.T), F::Mul(p.Y, p.Z), F::Mul(p.Z, p.T)};
    }

    static Extended ToExtended(const Completed& p) {
        return {F::Mul(p.X, p.T), F::Mul(p.Y, p.Z), F::Mul(p.Z, p.T), F::Mul(p.X, p.Y)};
    }

    static Projective ToProjective(const Extended& p) { return {p.X, p.Y, p.Z}; }

    static Completed Double(const Projective& p) {
        const Fe xx = F::Sq(p.X);
        const Fe yy = F::Sq(p.Y);
        const Fe zz = F::Sq(p.Z);
        const Fe zz2 = F::Add(zz, zz);
        const Fe sum_sq = F::Sq(F::Add(p.X, p.Y));
        const Fe yy_plus_xx = F::Add(yy, xx);
        const Fe yy_minus_xx = F::Sub(yy, xx);
        return {F::Sub(sum_sq, yy_plus_xx), yy_plus_xx, yy_minus_xx, F::Sub(zz2, yy_minus_xx)};
    }

    // p + q when subtract is false, p - q when it is true.
    static Completed AddCached(const Extended& p, const Cached& q, bool subtract) {
        const Fe a = F::Mul(F::Add(p.Y, p.X), subtract ? q.YminusX : q.YplusX);
        const Fe b = F::Mul(F::Sub(p.Y, p.X), subtract ? q.YplusX : q.YminusX);
        const Fe t = F::Mul(q.T2d, p.T);
        const Fe zz = F::Mul(p.Z, q.Z);
        const Fe zz2 = F::Add(zz, zz);
        return {F::Sub(a, b), F::Add(a, b), subtract ? F::Sub(zz2, t) : F::Add(zz2, t),
                subtract ? F::Add(zz2, t) : F::Sub(zz2, t)};
    }

    static Extended Identity() { return {F::Zero(), F::One(), F::One(), F::Zero()}; }

    // The odd multiples P, 3P, ..., (2n - 1)P.
    template <int N>
    static void OddMultiples(const Extended& p, Cached (&table)[N]) {
        table[0] = ToCached(p);
        const Extended twice = ToExtended(Double(ToProjective(p)));
        Extended current = p;
        for (int i = 1; i < N; ++i) {
            current = ToExtended(AddCached(twice, table[i - 1], false));
            table[i] = ToCached(current);
        }
    }

    static constexpr int kBaseWidth = 7;   // 32 odd multiples of B, built once
    static constexpr int kPointWidth = 5;  // 8 odd multiples of A, built per check

    struct BaseTable {
        Cached multiples[1 << (kBaseWidth - 2)];
    };

    static const BaseTable& BaseMultiples() {
        static const BaseTable table = [] {
            // B: y = 4/5 and x even.
            static const std::uint8_t kBase[32] = {0x58, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66,
                                                   0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66,
                                                   0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66,
                                                   0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66};
            Extended base;
            Decode(kBase, base);
            BaseTable t;
            OddMultiples(base, t.multiples);
            return t;
        }();
        return table;
    }

    static void AddDigit(Completed& acc, int digit, const Cached* table) {
        if (digit == 0) return;
        const Extended e = ToExtended(acc);
        acc = digit > 0 ? AddCached(e, table[digit / 2], false)
                        : AddCached(e, table[-digit / 2], true);
    }

    // [a]P + [b]B for scalars below 2^255, by interleaved sliding windows.
    static Extended DoubleScalarMultiply(const std::uint8_t* a, const Extended& p,
                                         const std::uint8_t* b) {
        std::int8_t a_digits[256];
        std::int8_t b_digits[256];
        ScalarToSlidingWindow(a, kPointWidth, a_digits);
        ScalarToSlidingWindow(b, kBaseWidth, b_digits);
        Cached p_table[1 << (kPointWidth - 2)];
        OddMultiples(p, p_table);
        const BaseTable& base = BaseMultiples();

        int i = 255;
        while (i >= 0 && a_digits[i] == 0 && b_digits[i] == 0) --i;
        if (i < 0) return Identity();

        Projective acc = ToProjective(Identity());
        Completed step{};
        for (; i >= 0; --i) {
            step = Double(acc);
            AddDigit(step, a_digits[i], p_table);
            AddDigit(step, b_digits[i], base.multiples);
            acc = ToProjective(step);
        }
        return ToExtended(step);
    }

    // True when [8]([S]B - R - [h]A) is the identity. S must already be known to be below L.
    static bool CofactoredEquationHolds(const Extended& a, const Extended& r, const std::uint8_t* s,
                                        const std::uint8_t* h) {
        const Extended sb_minus_ha = DoubleScalarMultiply(h, Negate(a), s);
        Projective check = ToProjective(AddCached(sb_minus_ha, ToCached(r), true));
        for (int i = 0; i < 3; ++i) check = ToProjective(Double(check));
        // The identity is x = 0, y = 1: X = 0 and Y = Z.
        return IsZero(check.X) && IsZero(F::Sub(check.Y, check.Z));
    }
};

}  // namespace patcher::ed25519_detail
