// Double-double arithmetic (a value as the unevaluated sum hi + lo of two doubles) with
// the error-free sums and products it rests on, after Dekker, Knuth and Shewchuk; the
// bounds quoted are those of Joldes, Muller and Popescu (u = 2^-53). Everything here
// needs each operation rounded to nearest double: no contraction into fused
// multiply-adds (the build's -ffp-contract=off), no fast-math, no x87.
#include "sim/trig.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <utility>

#if FLT_EVAL_METHOD != 0
#error "the rules need every double operation rounded to double (SSE2 or another IEEE unit, not x87)"
#endif

namespace {

struct DD {
    double hi, lo;  // |lo| <= ulp(hi) / 2 once normalised
};

// The constants below are written by tests/sim/trig_tables.py: begin.
// pi/2 as four doubles, each the nearest to what the ones before leave.
constexpr double kHalfPi[4] = {0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54,
    -0x1.f1976b7ed8fbcp-110, 0x1.4cf98e804177dp-164};
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
constexpr DD kPi = {0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53};
constexpr DD kHalfPiDD = {0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};
// sin(j/64) and cos(j/64), j = 0 ... 50 (the reduced angle is at most pi/4).
constexpr DD kSinTable[51] = {
    {0x0.0p+0, 0x0.0p+0}, {0x1.fffaaaaeeeed5p-7, -0x1.2ab639a9f0776p-63},
    {0x1.ffeaaaeeee86fp-6, -0x1.cd406fb224ae2p-60}, {0x1.7fdc01032fba9p-5, -0x1.599bdf46e997ap-59},
    {0x1.ffaaaeeed4edbp-5, -0x1.2d16d32684b69p-59}, {0x1.3facb12d1755bp-4, -0x1.921915299468bp-58},
    {0x1.7f701032550e4p-4, 0x1.afc2d1800501ap-60}, {0x1.bf1b78568391dp-4, 0x1.e91841dea4cc8p-58},
    {0x1.feaaeee86ee36p-4, -0x1.afcb2bcc6f03bp-59}, {0x1.1f0d3d7afceafp-3, -0x1.6ef95099769a5p-57},
    {0x1.3eb312c5d66cbp-3, 0x1.47d666b66cb91p-57}, {0x1.5e44fcfa126f3p-3, -0x1.6f443063f89b6p-57},
    {0x1.7dc102fbaf2b5p-3, 0x1.5ab50e23c97c3p-59}, {0x1.9d252d0cec312p-3, 0x1.9c43d80b1137dp-58},
    {0x1.bc6f84edc6199p-3, 0x1.9c1a56a7b0cabp-57}, {0x1.db9e15fb5a5d0p-3, -0x1.32e20d6cc6fc2p-57},
    {0x1.faaeed4f31577p-3, -0x1.15d88508e32b8p-57}, {0x1.0cd00cef36436p-2, -0x1.9fb0a0c93e2b4p-56},
    {0x1.1c37d64c6b876p-2, 0x1.46076fe0dcff4p-56}, {0x1.2b8ddc43eb49fp-2, 0x1.1553899f2d807p-57},
    {0x1.3ad129769d3d8p-2, 0x1.03d550487839ap-63}, {0x1.4a00c9b0f3d20p-2, 0x1.823ba6bb08eadp-56},
    {0x1.591bc9fa2f597p-2, 0x1.7c74bac3fe0cbp-57}, {0x1.682138a38d7f7p-2, -0x1.d889202444aadp-56},
    {0x1.7710255764214p-2, -0x1.6ead7314bb6cep-57}, {0x1.85e7a12826949p-2, 0x1.8a40e9b5face0p-56},
    {0x1.94a6be9f546c5p-2, -0x1.69ce13e683f58p-56}, {0x1.a34c91cc50ccap-2, -0x1.a310e3b50cecdp-58},
    {0x1.b1d8305321617p-2, -0x1.ae242cb99f519p-56}, {0x1.c048b17b140a3p-2, 0x1.19fe6757e9fa7p-57},
    {0x1.ce9d2e3d4a51fp-2, -0x1.2fc8a12dae298p-57}, {0x1.dcd4c15329c9ap-2, 0x1.0d4c6e171fd9ap-56},
    {0x1.eaee8744b05f0p-2, -0x1.789b43c9b027dp-58}, {0x1.f8e99e76abc97p-2, 0x1.9d950af2d00a3p-58},
    {0x1.0362939c69955p-1, -0x1.2d8cd78397b01p-55}, {0x1.0a4021e9e1001p-1, -0x1.6f643a13914f6p-55},
    {0x1.110d0c4b69c3bp-1, 0x1.d918998809981p-55}, {0x1.17c8e5f2eedb0p-1, 0x1.35e57102e2488p-57},
    {0x1.1e7343236574cp-1, 0x1.22a3fa4f41d5ap-56}, {0x1.250bb93788bbbp-1, 0x1.ea3d02457bccep-56},
    {0x1.2b91dea88421ep-1, -0x1.fa371db216ab0p-55}, {0x1.32054b148bc4fp-1, 0x1.f6b42095a135bp-55},
    {0x1.386597456282bp-1, -0x1.10fada93b07a8p-56}, {0x1.3eb25d36cd53ap-1, -0x1.be570e1570fc0p-58},
    {0x1.44eb381cf386bp-1, -0x1.3ed6c1e6a5505p-55}, {0x1.4b0fc46aab761p-1, 0x1.0da05738cc59cp-61},
    {0x1.511f9fd7b351cp-1, -0x1.5c0e861c48831p-55}, {0x1.571a6966d59b3p-1, 0x1.c843b4d0fb197p-58},
    {0x1.5cffc16bf8f0dp-1, 0x1.96cb370eb578ap-55}, {0x1.62cf49921ac79p-1, -0x1.edd9855b6241ap-55},
    {0x1.6888a4e134b2fp-1, -0x1.6b7d37644d5e6p-55},
};
constexpr DD kCosTable[51] = {
    {0x1.0000000000000p+0, 0x0.0p+0}, {0x1.fff000155549fp-1, 0x1.28a28a03a5ef3p-55},
    {0x1.ffc00155527d3p-1, -0x1.3b54492d89b5bp-55}, {0x1.ff7006bfdf99fp-1, -0x1.8b3b560648d5fp-56},
    {0x1.ff0015549f4d3p-1, 0x1.328387b99426fp-55}, {0x1.fe7034129ef6fp-1, -0x1.cbf4337c96f97p-57},
    {0x1.fdc06bf7e6b9bp-1, 0x1.31902b535f8dbp-55}, {0x1.fcf0c800e99b1p-1, 0x1.ea3d786d186acp-57},
    {0x1.fc015527d5bd3p-1, 0x1.b68f35094efb8p-55}, {0x1.faf22263c4bd3p-1, -0x1.52ace133a2769p-58},
    {0x1.f9c340a7cc428p-1, 0x1.c5b6b063b7462p-55}, {0x1.f874c2e1eecf6p-1, -0x1.c6514e1332b16p-55},
    {0x1.f706bdf9ece1cp-1, -0x1.698c80c36dcb4p-55}, {0x1.f57948cff6797p-1, 0x1.e3a0d3e03b1d4p-57},
    {0x1.f3cc7c3b3d16ep-1, -0x1.21a3ad28a3494p-57}, {0x1.f20073086649fp-1, 0x1.b940416c1984bp-56},
    {0x1.f01549f7deea1p-1, 0x1.d3c1e99e5cafdp-55}, {0x1.ee0b1fbc0f11cp-1, -0x1.bfd2380bbc3b1p-59},
    {0x1.ebe214f76efa8p-1, -0x1.02f9f12ba543ep-55}, {0x1.e99a4c3a7cd83p-1, -0x1.2264b1bc53ce8p-55},
    {0x1.e733ea0193d40p-1, -0x1.6428b3546ce13p-55}, {0x1.e4af14b2a449cp-1, -0x1.68ca02e8a6833p-55},
    {0x1.e20bf49acd6c1p-1, -0x1.660aec7ef636bp-58}, {0x1.df4ab3ebd875ep-1, -0x1.e2d8a7e6736c4p-55},
    {0x1.dc6b7eb995912p-1, 0x1.4b364776dcd35p-58}, {0x1.d96e82f71a9dcp-1, 0x1.ff61bd5d2039dp-55},
    {0x1.d653f073e4040p-1, -0x1.76236434bec37p-55}, {0x1.d31bf8d8d7c06p-1, 0x1.e60dd3089cbddp-56},
    {0x1.cfc6cfa52ad9fp-1, 0x1.8b5b5508f2a0dp-55}, {0x1.cc54aa2b2972ep-1, 0x1.4ee162ba83a98p-57},
    {0x1.c8c5bf8ce1a84p-1, 0x1.ab3d1a1590123p-56}, {0x1.c51a48b8b175ep-1, -0x1.1bbb43b9aa880p-57},
    {0x1.c1528065b7d50p-1, -0x1.892111312e828p-55}, {0x1.bd6ea310294f5p-1, 0x1.31bbcc88c109dp-56},
    {0x1.b96eeef58840ep-1, 0x1.45a3cc78fade0p-58}, {0x1.b553a410c104ep-1, 0x1.8ff7947027a15p-58},
    {0x1.b11d04162a4c6p-1, 0x1.1dd561efbc0c2p-56}, {0x1.accb526f69de5p-1, 0x1.8fb6a8dd6b6ccp-55},
    {0x1.a85ed4373e02dp-1, 0x1.9be06385ec792p-57}, {0x1.a3d7d0352bdcfp-1, -0x1.68dbaeca19669p-55},
    {0x1.9f368ed912f85p-1, -0x1.1d200c5791606p-55}, {0x1.9a7b5a36a6514p-1, 0x1.722cfcc9fa7a9p-55},
    {0x1.95a67e00cb1fdp-1, -0x1.0befda21f862dp-55}, {0x1.90b84784ddaf7p-1, -0x1.0feb10ab93b87p-56},
    {0x1.8bb105a5dc900p-1, 0x1.863e03e9474c1p-55}, {0x1.869108d77a6c6p-1, 0x1.338ffe2bfe9ddp-56},
    {0x1.8158a31916d5dp-1, -0x1.de8b90b8228dep-57}, {0x1.7c0827f09e54fp-1, -0x1.c73d6d72aee68p-57},
    {0x1.769fec655211fp-1, -0x1.827d5cf8c68c5p-57}, {0x1.712046fa77678p-1, 0x1.425b0a5029c81p-55},
    {0x1.6b898fa9efb5dp-1, 0x1.15ac786ccf4b2p-56},
};
// atan(j/64), j = 0 ... 64.
constexpr DD kAtanTable[65] = {
    {0x0.0p+0, 0x0.0p+0}, {0x1.fff555bbb729bp-7, -0x1.220c39d4dff50p-61},
    {0x1.ffd55bba97625p-6, -0x1.5ec431444912cp-60}, {0x1.7fb818430da2ap-5, -0x1.86ef8f794f105p-63},
    {0x1.ff55bb72cfdeap-5, -0x1.c934d86d23f1dp-60}, {0x1.3f59f0e7c559dp-4, 0x1.ac4ce285df847p-58},
    {0x1.7ee182602f10fp-4, -0x1.cfb654c0c3d98p-58}, {0x1.be39ebe6f07c3p-4, 0x1.f7b8f29a05987p-58},
    {0x1.fd5ba9aac2f6ep-4, -0x1.cd37686760c17p-59}, {0x1.1e1fafb043727p-3, -0x1.b485914dacf8cp-59},
    {0x1.3d6eee8c6626cp-3, 0x1.61a3b0ce9281bp-57}, {0x1.5c9811e3ec26ap-3, -0x1.054ab2c010f3dp-58},
    {0x1.7b97b4bce5b02p-3, 0x1.347b0b4f881cap-58}, {0x1.9a6a8e96c8626p-3, 0x1.cf601e7b4348ep-59},
    {0x1.b90d7529260a2p-3, 0x1.17b10d2e0e5abp-61}, {0x1.d77d5df205736p-3, 0x1.c648d1534597ep-57},
    {0x1.f5b75f92c80ddp-3, 0x1.8ab6e3cf7afbdp-57}, {0x1.09dc597d86362p-2, 0x1.62e47390cb865p-56},
    {0x1.18bf5a30bf178p-2, 0x1.30ca4748b1bf9p-57}, {0x1.278372057ef46p-2, -0x1.077cdd36dfc81p-56},
    {0x1.362773707ebccp-2, -0x1.963a544b672d8p-57}, {0x1.44aa436c2af0ap-2, -0x1.5d5e43c55b3bap-56},
    {0x1.530ad9951cd4ap-2, -0x1.2566480884082p-57}, {0x1.614840309cfe2p-2, -0x1.a725715711f00p-56},
    {0x1.6f61941e4def1p-2, -0x1.c63aae6f6e918p-56}, {0x1.7d5604b63b3f7p-2, 0x1.69c885c2b249ap-56},
    {0x1.8b24d394a1b25p-2, 0x1.b6d0ba3748fa8p-56}, {0x1.98cd5454d6b18p-2, 0x1.9e6c988fd0a77p-56},
    {0x1.a64eec3cc23fdp-2, -0x1.24dec1b50b7ffp-56}, {0x1.b3a911da65c6cp-2, 0x1.ae187b1ca5040p-56},
    {0x1.c0db4c94ec9f0p-2, -0x1.cc1ce70934c34p-56}, {0x1.cde53432c1351p-2, -0x1.a2cfa4418f1adp-56},
    {0x1.dac670561bb4fp-2, 0x1.a2b7f222f65e2p-56}, {0x1.e77eb7f175a34p-2, 0x1.0e53dc1bf3435p-56},
    {0x1.f40dd0b541418p-2, -0x1.a3992dc382a23p-57}, {0x1.0039c73c1a40cp-1, -0x1.b32c949c9d593p-55},
    {0x1.0657e94db30d0p-1, -0x1.d5b495f6349e6p-56}, {0x1.0c6145b5b43dap-1, 0x1.974fa13b5404fp-58},
    {0x1.1255d9bfbd2a9p-1, -0x1.2bdaee1c0ee35p-58}, {0x1.1835a88be7c13p-1, 0x1.c621cec00c301p-55},
    {0x1.1e00babdefeb4p-1, -0x1.928df287a668fp-58}, {0x1.23b71e2cc9e6ap-1, 0x1.c421c9f38224ep-57},
    {0x1.2958e59308e31p-1, -0x1.09e73b0c6c087p-56}, {0x1.2ee628406cbcap-1, 0x1.c5d5e9ff0cf8dp-55},
    {0x1.345f01cce37bbp-1, 0x1.1021137c71102p-55}, {0x1.39c391cd4171ap-1, -0x1.2304331d8bf46p-55},
    {0x1.3f13fb89e96f4p-1, 0x1.ecf8b492644f0p-56}, {0x1.445065b795b56p-1, -0x1.f76d0163f79c8p-56},
    {0x1.4978fa3269ee1p-1, 0x1.2419a87f2a458p-56}, {0x1.4e8de5bb6ec04p-1, 0x1.4a33dbeb3796cp-55},
    {0x1.538f57b89061fp-1, -0x1.1bb74abda520cp-55}, {0x1.587d81f732fbbp-1, -0x1.5e5c9d8c5a950p-56},
    {0x1.5d58987169b18p-1, 0x1.0028e4bc5e7cap-57}, {0x1.6220d115d7b8ep-1, -0x1.2b785350ee8c1p-57},
    {0x1.66d663923e087p-1, -0x1.6ea6febe8bbbap-56}, {0x1.6b798920b3d99p-1, -0x1.a80386188c50ep-55},
    {0x1.700a7c5784634p-1, -0x1.8c34d25aadef6p-56}, {0x1.748978fba8e0fp-1, 0x1.7b2a6165884a1p-59},
    {0x1.78f6bbd5d315ep-1, 0x1.406a089803740p-55}, {0x1.7d528289fa093p-1, 0x1.560821e2f3aa9p-55},
    {0x1.819d0b7158a4dp-1, -0x1.bf76229d3b917p-56}, {0x1.85d69576cc2c5p-1, 0x1.6b66e7fc8b8c3p-57},
    {0x1.89ff5ff57f1f8p-1, -0x1.55b9a5e177a1bp-55}, {0x1.8e17aa99cc05ep-1, -0x1.ec182ab042f61p-56},
    {0x1.921fb54442d18p-1, 0x1.1a62633145c07p-55},
};
// 1/n! for the sine's and cosine's series; 1/n, n odd, for the arctangent's.
constexpr DD kInvFactorial[14] = {
    {0x1.0000000000000p+0, 0x0.0p+0}, {0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.0000000000000p-1, 0x0.0p+0}, {0x1.5555555555555p-3, 0x1.5555555555555p-57},
    {0x1.5555555555555p-5, 0x1.5555555555555p-59}, {0x1.1111111111111p-7, 0x1.1111111111111p-63},
    {0x1.6c16c16c16c17p-10, -0x1.f49f49f49f49fp-65}, {0x1.a01a01a01a01ap-13, 0x1.a01a01a01a01ap-73},
    {0x1.a01a01a01a01ap-16, 0x1.a01a01a01a01ap-76}, {0x1.71de3a556c734p-19, -0x1.c154f8ddc6c00p-73},
    {0x1.27e4fb7789f5cp-22, 0x1.cbbc05b4fa99ap-76}, {0x1.ae64567f544e4p-26, -0x1.c062e06d1f209p-80},
    {0x1.1eed8eff8d898p-29, -0x1.2aec959e14c06p-83}, {0x1.6124613a86d09p-33, 0x1.f28e0cc748ebep-87},
};
constexpr DD kInvOdd[16] = {
    {0x0.0p+0, 0x0.0p+0}, {0x1.0000000000000p+0, 0x0.0p+0},
    {0x0.0p+0, 0x0.0p+0}, {0x1.5555555555555p-2, 0x1.5555555555555p-56},
    {0x0.0p+0, 0x0.0p+0}, {0x1.999999999999ap-3, -0x1.999999999999ap-57},
    {0x0.0p+0, 0x0.0p+0}, {0x1.2492492492492p-3, 0x1.2492492492492p-57},
    {0x0.0p+0, 0x0.0p+0}, {0x1.c71c71c71c71cp-4, 0x1.c71c71c71c71cp-58},
    {0x0.0p+0, 0x0.0p+0}, {0x1.745d1745d1746p-4, -0x1.745d1745d1746p-59},
    {0x0.0p+0, 0x0.0p+0}, {0x1.3b13b13b13b14p-4, -0x1.3b13b13b13b14p-58},
    {0x0.0p+0, 0x0.0p+0}, {0x1.1111111111111p-4, 0x1.1111111111111p-60},
};
// The constants: end.

constexpr double kReduced = 0.786;        // past pi/4 by a margin that the table still covers
constexpr double kReduceBelow = 0x1p50;   // the rounding to an integer below holds to 2^51
constexpr double kTwoPi = 0x1.921fb54442d18p+2;

DD two_sum(double a, double b) {
    double s = a + b, bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// Exact when |a| >= |b| or a == 0.
DD fast_two_sum(double a, double b) {
    double s = a + b;
    return {s, b - (s - a)};
}

// Veltkamp's split into two halves of 26 bits, so that their products are exact.
void split(double a, double& hi, double& lo) {
    double t = 134217729.0 * a;
    hi = t - (t - a);
    lo = a - hi;
}

// Dekker's product: a * b == hi + lo exactly, without a fused multiply-add.
DD two_prod(double a, double b) {
    double p = a * b, ah, al, bh, bl;
    split(a, ah, al);
    split(b, bh, bl);
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

DD neg(DD a) { return {-a.hi, -a.lo}; }

// Relative error below 3u^2.
DD add(DD a, DD b) {
    DD s = two_sum(a.hi, b.hi), t = two_sum(a.lo, b.lo);
    s = fast_two_sum(s.hi, s.lo + t.hi);
    return fast_two_sum(s.hi, s.lo + t.lo);
}

// Relative error below 2u^2.
DD add(DD a, double b) {
    DD s = two_sum(a.hi, b);
    return fast_two_sum(s.hi, s.lo + a.lo);
}

// Relative error below 5u^2.
DD mul(DD a, DD b) {
    DD p = two_prod(a.hi, b.hi);
    return fast_two_sum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

// Relative error below 2u^2.
DD mul(DD a, double b) {
    DD p = two_prod(a.hi, b);
    return fast_two_sum(p.hi, p.lo + a.lo * b);
}

// Relative error below 15u^2.
DD div(DD a, DD b) {
    double q = a.hi / b.hi;
    DD r = mul(b, q);
    double d = (a.hi - r.hi) + (a.lo - r.lo);
    return fast_two_sum(q, d / b.hi);
}

// A sum of doubles kept exactly: Shewchuk's expansion, components nonoverlapping and in
// increasing magnitude, zeros dropped.
struct Expansion {
    double c[32];
    int n = 0;

    void add(double b) {
        int m = 0;
        for (int i = 0; i < n; ++i) {
            DD s = two_sum(b, c[i]);
            b = s.hi;
            if (s.lo != 0) c[m++] = s.lo;
        }
        if (b != 0) c[m++] = b;
        n = m;
    }
    // The largest component carries the sign of the sum.
    int sign() const { return n == 0 ? 0 : c[n - 1] > 0 ? 1 : -1; }
    DD value() const {
        DD s{0, 0};
        for (int i = 0; i < n; ++i) s = ::add(s, c[i]);
        return s;
    }
};

// The nearest integer (ties to even) to v, |v| < 2^51.
double nearest_integer(double v) { return (v + 0x1.8p52) - 0x1.8p52; }

// x = k pi/2 + r with |r| <= kReduced: r, and k mod 4 in quadrant. x - k pi/2 is summed
// exactly but for pi/2's last part (2^-217 of it), so that an x close to a multiple of
// pi/2 keeps every bit of r.
DD reduce(double x, int& quadrant) {
    quadrant = 0;
    DD r{x, 0};
    Expansion e;
    e.add(x);
    // A k one off (x k pi/2 + pi/4 apart by an ulp) leaves a second, short pass.
    for (int pass = 0; pass < 3 && !(std::fabs(r.hi) <= kReduced); ++pass) {
        double k = nearest_integer(r.hi * kTwoOverPi);
        quadrant += int(std::int64_t(k) & 3);
        for (double part : kHalfPi) {
            DD kp = two_prod(k, part);
            e.add(-kp.hi);
            e.add(-kp.lo);
        }
        r = e.value();
    }
    quadrant &= 3;
    return r;
}

// sin t for |t| <= 1/128 and z = t^2: the series to t^11/11!, the last terms in double.
DD sin_series(DD t, DD z) {
    const DD* f = kInvFactorial;
    double tail = z.hi * (f[9].hi - z.hi * f[11].hi);
    DD c = add(neg(f[7]), tail);
    DD b = add(f[5], mul(z, c));
    DD a = add(neg(f[3]), mul(z, b));
    return add(t, mul(t, mul(z, a)));
}

// cos t - 1 for |t| <= 1/128 and z = t^2: the series to t^12/12!.
DD cos_minus_one_series(DD z) {
    const DD* f = kInvFactorial;
    double tail = z.hi * (f[8].hi - z.hi * (f[10].hi - z.hi * f[12].hi));
    DD c = add(neg(f[6]), tail);
    DD b = add(f[4], mul(z, c));
    DD a = add(DD{-0.5, 0}, mul(z, b));
    return mul(z, a);
}

// sin r or cos r for |r| <= kReduced: the table at the nearest j/64, the series at the
// rest t: sin r = sin a + (cos a sin t + sin a (cos t - 1)), and cos r likewise.
double sin_or_cos_reduced(DD r, bool cosine) {
    bool negative = r.hi < 0;
    if (negative) r = neg(r);
    int j = int(r.hi * 64 + 0.5);
    if (j > 50) j = 50;
    DD t = two_sum(r.hi - j * 0.015625, r.lo);  // the subtraction is exact (Sterbenz)
    DD z = mul(t, t);
    DD sin_t = sin_series(t, z), cos_t1 = cos_minus_one_series(z);
    const DD &s = kSinTable[j], &c = kCosTable[j];
    if (cosine) return add(c, add(mul(c, cos_t1), neg(mul(s, sin_t)))).hi;
    double v = add(s, add(mul(c, sin_t), mul(s, cos_t1))).hi;
    return negative ? -v : v;
}

// The quick way works to a relative error of about 2^-65 (2^-65.3 the worst of eight
// million against quadruple precision), enough to round by unless the value is close to
// halfway: true if hi is the nearest double to every value within 2^-60 of hi + lo.
bool rounds_surely(DD v) {
    double e = std::fabs(v.hi) * 0x1p-60;
    return v.hi + (v.lo + e) == v.hi && v.hi + (v.lo - e) == v.hi;
}

// x = k pi/2 + r for |x| < 2^20, k pi/2 from pi/2's first three parts: to 2^-85 absolute
// (2^-71 of an r of at least 2^-14), and where r is smaller again with k times the second
// part exact, to 2^-104 of r and 2^-142 absolute (2^-67 of an r of at least 2^-75).
bool reduce_quickly(double x, DD& r, int& quadrant) {
    quadrant = 0;
    r = {x, 0};
    if (std::fabs(x) <= kReduced) return true;
    if (!(std::fabs(x) < 0x1p20)) return false;
    double k = nearest_integer(x * kTwoOverPi);
    DD kp = two_prod(k, kHalfPi[0]);
    double s = x - kp.hi;  // exact (Sterbenz)
    r = two_sum(s, -(kp.lo + k * kHalfPi[1]));
    r.lo -= k * kHalfPi[2];
    if (std::fabs(r.hi) < 0x1p-14) {
        r = add(two_sum(s, -kp.lo), neg(two_prod(k, kHalfPi[1])));
        r = add(r, -k * kHalfPi[2]);
    }
    quadrant = int(std::int64_t(k) & 3);
    return std::fabs(r.hi) >= 0x1p-75 && std::fabs(r.hi) <= kReduced;
}

// sin r or cos r as sin_or_cos_reduced does it, the small terms in double; false if
// that is too close to a halfway point to round by.
bool sin_or_cos_quickly(DD r, bool cosine, double& out) {
    bool negative = r.hi < 0;
    if (negative) r = neg(r);
    int j = int(r.hi * 64 + 0.5);
    if (j > 50) j = 50;
    double th = r.hi - j * 0.015625, tl = r.lo, z = th * th;
    auto f = [](int n) { return kInvFactorial[n].hi; };
    double sin_rest = tl + th * z * (-f(3) + z * (f(5) - z * (f(7) - z * f(9))));
    double cos_t1 = z * (-0.5 + z * (f(4) - z * (f(6) - z * f(8)))) - th * tl;
    const DD &s = kSinTable[j], &c = kCosTable[j];
    DD v;
    if (cosine) {
        DD p = two_prod(s.hi, th), h = two_sum(c.hi, -p.hi);
        v = fast_two_sum(h.hi, h.lo + (-p.lo + (c.lo - s.lo * th - s.hi * sin_rest + c.hi * cos_t1)));
    } else {
        DD p = two_prod(c.hi, th), h = two_sum(s.hi, p.hi);
        v = fast_two_sum(h.hi, h.lo + (p.lo + (s.lo + c.lo * th + c.hi * sin_rest + s.hi * cos_t1)));
    }
    out = negative && !cosine ? -v.hi : v.hi;
    return rounds_surely(v);
}

// x itself, or for |x| >= 2^50 the same remainder modulo 2 pi on every machine.
bool in_range(double& x) {
    if (std::fabs(x) < kReduceBelow) return true;
    if (!(std::fabs(x) <= DBL_MAX)) return false;
    x = fmod_exact(x, kTwoPi);
    return true;
}

// atan t for 0 <= t <= 1: the table at the nearest j/64, and the series at
// u = (t - j/64) / (1 + t j/64), |u| <= 1/128, to u^15/15.
DD atan_reduced(DD t) {
    int j = int(t.hi * 64 + 0.5);
    DD u = t;
    if (j > 0) {
        double c = j * 0.015625;
        u = div(two_sum(t.hi - c, t.lo), add(mul(t, c), 1.0));
    }
    const DD* g = kInvOdd;
    DD z = mul(u, u);
    double tail = z.hi * (g[9].hi - z.hi * (g[11].hi - z.hi * (g[13].hi - z.hi * g[15].hi)));
    DD c = add(neg(g[7]), tail);
    DD b = add(g[5], mul(z, c));
    DD a = add(neg(g[3]), mul(z, b));
    DD at = add(u, mul(u, mul(z, a)));
    return j > 0 ? add(kAtanTable[j], at) : at;
}

// atan(num / den), 0 < num <= den, den within 2^-500 ... 2^500.
DD atan_of_ratio(double num, double den) {
    double q = num / den;
    if (q < 0x1p-500) return {q, 0};  // atan q == q to far below an ulp
    DD p = two_prod(q, den);
    return atan_reduced(fast_two_sum(q, ((num - p.hi) - p.lo) / den));
}

// Scales a and b by the same power of two so that a (>= b) lies in [1, 2); returns the
// power. Exact unless b falls below the normal range, where it no longer matters.
int scale_to_unit(double& a, double& b) {
    int shift = 0;
    if (a < 0x1p-1000) {
        a *= 0x1p600, b *= 0x1p600;
        shift = -600;
    }
    int e = int((std::bit_cast<std::uint64_t>(a) >> 52) & 0x7ff) - 1023;
    // In two halves, each a normal power of two.
    for (int half : {e / 2, e - e / 2}) {
        double f = std::bit_cast<double>(std::uint64_t(1023 - half) << 52);
        a *= f, b *= f;
    }
    return shift + e;
}

double times_power_of_two(double v, int e) {
    for (int half : {e / 2, e - e / 2}) v *= std::bit_cast<double>(std::uint64_t(1023 + half) << 52);
    return v;
}

// The sign of (a^2 + b^2) - (r + h)^2, exactly, for aa = a^2 and bb = b^2 as exact
// pairs and h a power of two.
int past_halfway(DD aa, DD bb, double r, double h) {
    DD rr = two_prod(r, r);
    Expansion e;
    for (double v : {aa.lo, bb.lo, aa.hi, bb.hi, -rr.lo, -rr.hi, -2 * r * h, -h * h}) e.add(v);
    return e.sign();
}

}  // namespace

double sin_radians(double x) {
    if (!in_range(x)) return x - x;
    if (std::fabs(x) < 0x1p-26) return x;  // sin x == x - x^3/6 rounds to x
    int quadrant;
    DD r;
    double v;
    bool quick = reduce_quickly(x, r, quadrant) && sin_or_cos_quickly(r, quadrant & 1, v);
    if (!quick) {
        r = reduce(x, quadrant);
        v = sin_or_cos_reduced(r, quadrant & 1);
    }
    return quadrant & 2 ? -v : v;
}

double cos_radians(double x) {
    if (!in_range(x)) return x - x;
    if (std::fabs(x) < 0x1p-27) return 1;  // cos x == 1 - x^2/2 rounds to 1
    int quadrant;
    DD r;
    double v;
    bool quick = reduce_quickly(x, r, quadrant) && sin_or_cos_quickly(r, !(quadrant & 1), v);
    if (!quick) {
        r = reduce(x, quadrant);
        v = sin_or_cos_reduced(r, !(quadrant & 1));
    }
    return (quadrant + 1) & 2 ? -v : v;
}

double atan2_radians(double y, double x) {
    if (x != x || y != y) return x + y;
    bool left = std::signbit(x);
    double ay = std::fabs(y), ax = std::fabs(x);
    DD angle{0, 0};  // from the positive x axis to (ax, ay), then mirrored if left
    if (ay == 0) {
        angle = DD{0, 0};
    } else if (ax == 0 || ay > DBL_MAX) {
        angle = ax > DBL_MAX ? mul(kHalfPiDD, 0.5) : kHalfPiDD;
    } else if (ax > DBL_MAX) {
        angle = DD{0, 0};
    } else {
        bool steep = ay > ax;
        double num = steep ? ax : ay, den = steep ? ay : ax;
        scale_to_unit(den, num);
        angle = atan_of_ratio(num, den);
        if (steep) angle = add(kHalfPiDD, neg(angle));
    }
    if (left) angle = add(kPi, neg(angle));
    return std::signbit(y) ? -angle.hi : angle.hi;
}

double hypot_of(double x, double y) {
    double a = std::fabs(x), b = std::fabs(y);
    if (a > DBL_MAX || b > DBL_MAX) return INFINITY;
    if (a != a || b != b) return x + y;
    if (a < b) std::swap(a, b);
    if (b == 0 || b < a * 0x1p-60) return a;  // a (1 + (b/a)^2 / 2) rounds to a
    int e = scale_to_unit(a, b);
    DD aa = two_prod(a, a), bb = two_prod(b, b);
    DD s = two_sum(aa.hi, bb.hi);
    double r = std::sqrt(s.hi + (s.lo + (aa.lo + bb.lo)));
    // The root is within an ulp of r: its side of the halfway points around r decides.
    std::uint64_t bits = std::bit_cast<std::uint64_t>(r);
    double up = std::bit_cast<double>(bits + 1), down = std::bit_cast<double>(bits - 1);
    bool odd = bits & 1;
    int above = past_halfway(aa, bb, r, (up - r) * 0.5);
    if (above > 0 || (above == 0 && odd)) {
        r = up;
    } else if (above < 0) {
        int below = past_halfway(aa, bb, r, (down - r) * 0.5);
        if (below < 0 || (below == 0 && odd)) r = down;
    }
    return times_power_of_two(r, e);
}

float hypot_of(float x, float y) {
    if (std::isinf(x) || std::isinf(y)) return INFINITY;
    return float(std::sqrt(double(x) * x + double(y) * y));
}

double fmod_exact(double x, double m) {
    double ax = std::fabs(x), am = std::fabs(m);
    if (!(ax <= DBL_MAX) || !(am > 0)) return NAN;
    if (!(ax >= am)) return x;
    // Long division: d = am 2^i with d <= ax < 2d, each subtraction exact (Sterbenz).
    double d = am;
    while (d + d <= ax) d += d;
    for (;;) {
        if (ax >= d) ax -= d;
        if (d == am) break;
        d *= 0.5;
    }
    return x < 0 ? -ax : ax;
}
