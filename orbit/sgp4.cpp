// SGP4 for near-earth orbits (period under 225 minutes) and SDP4 for deep-space ones, after
// Hoots and Roehrich's Spacetrack Report No. 3 with the corrections of Vallado, Crawford, Hujsak
// and Kelso (2006): WGS-72 constants, the "improved" operation mode. Variable names follow the
// report's so that each line can be checked against the published equations.
#include "sgp4.h"

#include "timescale.h"
#include "topocentric.h"

#include <cmath>
#include <numbers>

namespace ravik::orbit {

namespace {

constexpr double Pi = std::numbers::pi;
constexpr double TwoPi = 2.0 * Pi;
constexpr double DegToRad = Pi / 180.0;
constexpr double X2o3 = 2.0 / 3.0;

// WGS-72, the constants the element sets are fitted with.
constexpr double Mu = 398600.8; // km^3/s^2
constexpr double EarthRadiusKm = 6378.135;
const double Xke = 60.0 / std::sqrt(EarthRadiusKm * EarthRadiusKm * EarthRadiusKm / Mu);
constexpr double J2 = 0.001082616;
constexpr double J3 = -0.00000253881;
constexpr double J4 = -0.00000165597;
constexpr double J3oJ2 = J3 / J2;

// Days from 1950 Jan 0.0 UTC, the time base of the deep-space lunar and solar terms.
constexpr double Jd1950 = 2433281.5;

// Lunar and solar constants.
constexpr double Zns = 1.19459e-5;
constexpr double Zes = 0.01675;
constexpr double Znl = 1.5835218e-4;
constexpr double Zel = 0.05490;
constexpr double Rptim = 4.37526908801129966e-3; // earth rotation, rad/min

} // namespace

struct OrbitModel {
    double epochJd = 0;
    bool deepSpace = false;
    bool usable = true; // false when the elements cannot even be initialised
    OrbitError initError = OrbitError::None;

    // Elements at epoch (radians, radians/minute).
    double bstar = 0, ecco = 0, inclo = 0, nodeo = 0, argpo = 0, mo = 0, noKozai = 0, no = 0;

    // Near-earth terms.
    bool isimp = false;
    double sinio = 0, cosio = 0;
    double aycof = 0, con41 = 0, cc1 = 0, cc4 = 0, cc5 = 0, d2 = 0, d3 = 0, d4 = 0, delmo = 0,
           eta = 0, argpdot = 0, omgcof = 0, sinmao = 0, t2cof = 0, t3cof = 0, t4cof = 0, t5cof = 0,
           x1mth2 = 0, x7thm1 = 0, mdot = 0, nodedot = 0, xlcof = 0, xmcof = 0, nodecf = 0,
           gsto = 0;

    // Deep-space terms: lunar-solar periodics.
    double e3 = 0, ee2 = 0, peo = 0, pgho = 0, pho = 0, pinco = 0, plo = 0, se2 = 0, se3 = 0,
           sgh2 = 0, sgh3 = 0, sgh4 = 0, sh2 = 0, sh3 = 0, si2 = 0, si3 = 0, sl2 = 0, sl3 = 0,
           sl4 = 0, xgh2 = 0, xgh3 = 0, xgh4 = 0, xh2 = 0, xh3 = 0, xi2 = 0, xi3 = 0, xl2 = 0,
           xl3 = 0, xl4 = 0, zmol = 0, zmos = 0;
    // Secular rates and resonance.
    int irez = 0; // 0 none, 1 synchronous (24 h), 2 half-day (12 h)
    double d2201 = 0, d2211 = 0, d3210 = 0, d3222 = 0, d4410 = 0, d4422 = 0, d5220 = 0, d5232 = 0,
           d5421 = 0, d5433 = 0, dedt = 0, didt = 0, dmdt = 0, dnodt = 0, domdt = 0, del1 = 0,
           del2 = 0, del3 = 0, xfact = 0, xlamo = 0;
};

namespace {

// Values shared by the deep-space initialisation steps (the report's DSCOM outputs).
struct DeepCommon {
    double snodm, cnodm, sinim, cosim, sinomm, cosomm, day, em, emsq, gam, nm, rtemsq;
    double s1, s2, s3, s4, s5, s6, s7, ss1, ss2, ss3, ss4, ss5, ss6, ss7;
    double sz1, sz2, sz3, sz11, sz12, sz13, sz21, sz22, sz23, sz31, sz32, sz33;
    double z1, z2, z3, z11, z12, z13, z21, z22, z23, z31, z32, z33;
};

// Lunar and solar terms common to the initialisation (DSCOM).
DeepCommon deepCommon(double epoch, double ep, double argpp, double tc, double inclp, double nodep,
                      double np, OrbitModel& m) {
    constexpr double C1ss = 2.9864797e-6;
    constexpr double C1l = 4.7968065e-7;
    constexpr double Zsinis = 0.39785416;
    constexpr double Zcosis = 0.91744867;
    constexpr double Zcosgs = 0.1945905;
    constexpr double Zsings = -0.98088458;

    DeepCommon c{};
    c.nm = np;
    c.em = ep;
    c.snodm = std::sin(nodep);
    c.cnodm = std::cos(nodep);
    c.sinomm = std::sin(argpp);
    c.cosomm = std::cos(argpp);
    c.sinim = std::sin(inclp);
    c.cosim = std::cos(inclp);
    c.emsq = c.em * c.em;
    const double betasq = 1.0 - c.emsq;
    c.rtemsq = std::sqrt(betasq);

    m.peo = m.pinco = m.plo = m.pgho = m.pho = 0.0;
    c.day = epoch + 18261.5 + tc / 1440.0;
    const double xnodce = std::fmod(4.5236020 - 9.2422029e-4 * c.day, TwoPi);
    const double stem = std::sin(xnodce);
    const double ctem = std::cos(xnodce);
    const double zcosil = 0.91375164 - 0.03568096 * ctem;
    const double zsinil = std::sqrt(1.0 - zcosil * zcosil);
    const double zsinhl = 0.089683511 * stem / zsinil;
    const double zcoshl = std::sqrt(1.0 - zsinhl * zsinhl);
    c.gam = 5.8351514 + 0.0019443680 * c.day;
    double zx = 0.39785416 * stem / zsinil;
    const double zy = zcoshl * ctem + 0.91744867 * zsinhl * stem;
    zx = std::atan2(zx, zy);
    zx = c.gam + zx - xnodce;
    const double zcosgl = std::cos(zx);
    const double zsingl = std::sin(zx);

    // The sun first, then the moon.
    double zcosg = Zcosgs, zsing = Zsings, zcosi = Zcosis, zsini = Zsinis;
    double zcosh = c.cnodm, zsinh = c.snodm;
    double cc = C1ss;
    const double xnoi = 1.0 / c.nm;
    for (int body = 0; body < 2; ++body) {
        const double a1 = zcosg * zcosh + zsing * zcosi * zsinh;
        const double a3 = -zsing * zcosh + zcosg * zcosi * zsinh;
        const double a7 = -zcosg * zsinh + zsing * zcosi * zcosh;
        const double a8 = zsing * zsini;
        const double a9 = zsing * zsinh + zcosg * zcosi * zcosh;
        const double a10 = zcosg * zsini;
        const double a2 = c.cosim * a7 + c.sinim * a8;
        const double a4 = c.cosim * a9 + c.sinim * a10;
        const double a5 = -c.sinim * a7 + c.cosim * a8;
        const double a6 = -c.sinim * a9 + c.cosim * a10;

        const double x1 = a1 * c.cosomm + a2 * c.sinomm;
        const double x2 = a3 * c.cosomm + a4 * c.sinomm;
        const double x3 = -a1 * c.sinomm + a2 * c.cosomm;
        const double x4 = -a3 * c.sinomm + a4 * c.cosomm;
        const double x5 = a5 * c.sinomm;
        const double x6 = a6 * c.sinomm;
        const double x7 = a5 * c.cosomm;
        const double x8 = a6 * c.cosomm;

        c.z31 = 12.0 * x1 * x1 - 3.0 * x3 * x3;
        c.z32 = 24.0 * x1 * x2 - 6.0 * x3 * x4;
        c.z33 = 12.0 * x2 * x2 - 3.0 * x4 * x4;
        c.z1 = 3.0 * (a1 * a1 + a2 * a2) + c.z31 * c.emsq;
        c.z2 = 6.0 * (a1 * a3 + a2 * a4) + c.z32 * c.emsq;
        c.z3 = 3.0 * (a3 * a3 + a4 * a4) + c.z33 * c.emsq;
        c.z11 = -6.0 * a1 * a5 + c.emsq * (-24.0 * x1 * x7 - 6.0 * x3 * x5);
        c.z12 = -6.0 * (a1 * a6 + a3 * a5) +
                c.emsq * (-24.0 * (x2 * x7 + x1 * x8) - 6.0 * (x3 * x6 + x4 * x5));
        c.z13 = -6.0 * a3 * a6 + c.emsq * (-24.0 * x2 * x8 - 6.0 * x4 * x6);
        c.z21 = 6.0 * a2 * a5 + c.emsq * (24.0 * x1 * x5 - 6.0 * x3 * x7);
        c.z22 = 6.0 * (a4 * a5 + a2 * a6) +
                c.emsq * (24.0 * (x2 * x5 + x1 * x6) - 6.0 * (x4 * x7 + x3 * x8));
        c.z23 = 6.0 * a4 * a6 + c.emsq * (24.0 * x2 * x6 - 6.0 * x4 * x8);
        c.z1 = c.z1 + c.z1 + betasq * c.z31;
        c.z2 = c.z2 + c.z2 + betasq * c.z32;
        c.z3 = c.z3 + c.z3 + betasq * c.z33;
        c.s3 = cc * xnoi;
        c.s2 = -0.5 * c.s3 / c.rtemsq;
        c.s4 = c.s3 * c.rtemsq;
        c.s1 = -15.0 * c.em * c.s4;
        c.s5 = x1 * x3 + x2 * x4;
        c.s6 = x2 * x3 + x1 * x4;
        c.s7 = x2 * x4 - x1 * x3;

        if (body == 0) {
            c.ss1 = c.s1, c.ss2 = c.s2, c.ss3 = c.s3, c.ss4 = c.s4;
            c.ss5 = c.s5, c.ss6 = c.s6, c.ss7 = c.s7;
            c.sz1 = c.z1, c.sz2 = c.z2, c.sz3 = c.z3;
            c.sz11 = c.z11, c.sz12 = c.z12, c.sz13 = c.z13;
            c.sz21 = c.z21, c.sz22 = c.z22, c.sz23 = c.z23;
            c.sz31 = c.z31, c.sz32 = c.z32, c.sz33 = c.z33;
            zcosg = zcosgl;
            zsing = zsingl;
            zcosi = zcosil;
            zsini = zsinil;
            zcosh = zcoshl * c.cnodm + zsinhl * c.snodm;
            zsinh = c.snodm * zcoshl - c.cnodm * zsinhl;
            cc = C1l;
        }
    }

    m.zmol = std::fmod(4.7199672 + 0.22997150 * c.day - c.gam, TwoPi);
    m.zmos = std::fmod(6.2565837 + 0.017201977 * c.day, TwoPi);

    // Solar periodic coefficients.
    m.se2 = 2.0 * c.ss1 * c.ss6;
    m.se3 = 2.0 * c.ss1 * c.ss7;
    m.si2 = 2.0 * c.ss2 * c.sz12;
    m.si3 = 2.0 * c.ss2 * (c.sz13 - c.sz11);
    m.sl2 = -2.0 * c.ss3 * c.sz2;
    m.sl3 = -2.0 * c.ss3 * (c.sz3 - c.sz1);
    m.sl4 = -2.0 * c.ss3 * (-21.0 - 9.0 * c.emsq) * Zes;
    m.sgh2 = 2.0 * c.ss4 * c.sz32;
    m.sgh3 = 2.0 * c.ss4 * (c.sz33 - c.sz31);
    m.sgh4 = -18.0 * c.ss4 * Zes;
    m.sh2 = -2.0 * c.ss2 * c.sz22;
    m.sh3 = -2.0 * c.ss2 * (c.sz23 - c.sz21);
    // Lunar periodic coefficients.
    m.ee2 = 2.0 * c.s1 * c.s6;
    m.e3 = 2.0 * c.s1 * c.s7;
    m.xi2 = 2.0 * c.s2 * c.z12;
    m.xi3 = 2.0 * c.s2 * (c.z13 - c.z11);
    m.xl2 = -2.0 * c.s3 * c.z2;
    m.xl3 = -2.0 * c.s3 * (c.z3 - c.z1);
    m.xl4 = -2.0 * c.s3 * (-21.0 - 9.0 * c.emsq) * Zel;
    m.xgh2 = 2.0 * c.s4 * c.z32;
    m.xgh3 = 2.0 * c.s4 * (c.z33 - c.z31);
    m.xgh4 = -18.0 * c.s4 * Zel;
    m.xh2 = -2.0 * c.s2 * c.z22;
    m.xh3 = -2.0 * c.s2 * (c.z23 - c.z21);
    return c;
}

// Secular lunar-solar rates and the resonance coefficients (DSINIT), at epoch.
void deepInit(const DeepCommon& c, double eccsq, double xpidot, OrbitModel& m) {
    constexpr double Q22 = 1.7891679e-6;
    constexpr double Q31 = 2.1460748e-6;
    constexpr double Q33 = 2.2123015e-7;
    constexpr double Root22 = 1.7891679e-6;
    constexpr double Root44 = 7.3636953e-9;
    constexpr double Root54 = 2.1765803e-9;
    constexpr double Root32 = 3.7393792e-7;
    constexpr double Root52 = 1.1428639e-7;

    const double nm = c.nm;
    double em = c.em;
    double emsq = c.emsq;
    const double inclm = m.inclo;

    m.irez = 0;
    if (nm < 0.0052359877 && nm > 0.0034906585)
        m.irez = 1;
    if (nm >= 8.26e-3 && nm <= 9.24e-3 && em >= 0.5)
        m.irez = 2;

    // Solar secular rates.
    const double ses = c.ss1 * Zns * c.ss5;
    const double sis = c.ss2 * Zns * (c.sz11 + c.sz13);
    const double sls = -Zns * c.ss3 * (c.sz1 + c.sz3 - 14.0 - 6.0 * emsq);
    const double sghs = c.ss4 * Zns * (c.sz31 + c.sz33 - 6.0);
    double shs = -Zns * c.ss2 * (c.sz21 + c.sz23);
    // Near 0 and 180 degrees the node is undefined: its rate is left out.
    const bool nearEquatorial = inclm < 5.2359877e-2 || inclm > Pi - 5.2359877e-2;
    if (nearEquatorial)
        shs = 0.0;
    if (c.sinim != 0.0)
        shs = shs / c.sinim;
    const double sgs = sghs - c.cosim * shs;

    // Lunar secular rates.
    m.dedt = ses + c.s1 * Znl * c.s5;
    m.didt = sis + c.s2 * Znl * (c.z11 + c.z13);
    m.dmdt = sls - Znl * c.s3 * (c.z1 + c.z3 - 14.0 - 6.0 * emsq);
    const double sghl = c.s4 * Znl * (c.z31 + c.z33 - 6.0);
    double shll = -Znl * c.s2 * (c.z21 + c.z23);
    if (nearEquatorial)
        shll = 0.0;
    m.domdt = sgs + sghl;
    m.dnodt = shs;
    if (c.sinim != 0.0) {
        m.domdt = m.domdt - c.cosim / c.sinim * shll;
        m.dnodt = m.dnodt + shll / c.sinim;
    }

    if (m.irez == 0)
        return;
    const double theta = m.gsto; // at epoch
    const double aonv = std::pow(nm / Xke, X2o3);

    if (m.irez == 2) {
        // Geopotential resonance of 12-hour orbits, with the eccentricity at epoch.
        const double cosisq = c.cosim * c.cosim;
        em = m.ecco;
        emsq = eccsq;
        const double eoc = em * emsq;
        const double g201 = -0.306 - (em - 0.64) * 0.440;
        double g211, g310, g322, g410, g422, g520, g521, g532, g533;
        if (em <= 0.65) {
            g211 = 3.616 - 13.2470 * em + 16.2900 * emsq;
            g310 = -19.302 + 117.3900 * em - 228.4190 * emsq + 156.5910 * eoc;
            g322 = -18.9068 + 109.7927 * em - 214.6334 * emsq + 146.5816 * eoc;
            g410 = -41.122 + 242.6940 * em - 471.0940 * emsq + 313.9530 * eoc;
            g422 = -146.407 + 841.8800 * em - 1629.014 * emsq + 1083.4350 * eoc;
            g520 = -532.114 + 3017.977 * em - 5740.032 * emsq + 3708.2760 * eoc;
        } else {
            g211 = -72.099 + 331.819 * em - 508.738 * emsq + 266.724 * eoc;
            g310 = -346.844 + 1582.851 * em - 2415.925 * emsq + 1246.113 * eoc;
            g322 = -342.585 + 1554.908 * em - 2366.899 * emsq + 1215.972 * eoc;
            g410 = -1052.797 + 4758.686 * em - 7193.992 * emsq + 3651.957 * eoc;
            g422 = -3581.690 + 16178.110 * em - 24462.770 * emsq + 12422.520 * eoc;
            if (em > 0.715)
                g520 = -5149.66 + 29936.92 * em - 54087.36 * emsq + 31324.56 * eoc;
            else
                g520 = 1464.74 - 4664.75 * em + 3763.64 * emsq;
        }
        if (em < 0.7) {
            g533 = -919.22770 + 4988.6100 * em - 9064.7700 * emsq + 5542.21 * eoc;
            g521 = -822.71072 + 4568.6173 * em - 8491.4146 * emsq + 5337.524 * eoc;
            g532 = -853.66600 + 4690.2500 * em - 8624.7700 * emsq + 5341.4 * eoc;
        } else {
            g533 = -37995.780 + 161616.52 * em - 229838.20 * emsq + 109377.94 * eoc;
            g521 = -51752.104 + 218913.95 * em - 309468.16 * emsq + 146349.42 * eoc;
            g532 = -40023.880 + 170470.89 * em - 242699.48 * emsq + 115605.82 * eoc;
        }
        const double sini2 = c.sinim * c.sinim;
        const double f220 = 0.75 * (1.0 + 2.0 * c.cosim + cosisq);
        const double f221 = 1.5 * sini2;
        const double f321 = 1.875 * c.sinim * (1.0 - 2.0 * c.cosim - 3.0 * cosisq);
        const double f322 = -1.875 * c.sinim * (1.0 + 2.0 * c.cosim - 3.0 * cosisq);
        const double f441 = 35.0 * sini2 * f220;
        const double f442 = 39.3750 * sini2 * sini2;
        const double f522 = 9.84375 * c.sinim *
                            (sini2 * (1.0 - 2.0 * c.cosim - 5.0 * cosisq) +
                             0.33333333 * (-2.0 + 4.0 * c.cosim + 6.0 * cosisq));
        const double f523 = c.sinim * (4.92187512 * sini2 * (-2.0 - 4.0 * c.cosim + 10.0 * cosisq) +
                                       6.56250012 * (1.0 + 2.0 * c.cosim - 3.0 * cosisq));
        const double f542 =
            29.53125 * c.sinim *
            (2.0 - 8.0 * c.cosim + cosisq * (-12.0 + 8.0 * c.cosim + 10.0 * cosisq));
        const double f543 =
            29.53125 * c.sinim *
            (-2.0 - 8.0 * c.cosim + cosisq * (12.0 + 8.0 * c.cosim - 10.0 * cosisq));
        const double xno2 = nm * nm;
        const double ainv2 = aonv * aonv;
        double temp1 = 3.0 * xno2 * ainv2;
        double temp = temp1 * Root22;
        m.d2201 = temp * f220 * g201;
        m.d2211 = temp * f221 * g211;
        temp1 = temp1 * aonv;
        temp = temp1 * Root32;
        m.d3210 = temp * f321 * g310;
        m.d3222 = temp * f322 * g322;
        temp1 = temp1 * aonv;
        temp = 2.0 * temp1 * Root44;
        m.d4410 = temp * f441 * g410;
        m.d4422 = temp * f442 * g422;
        temp1 = temp1 * aonv;
        temp = temp1 * Root52;
        m.d5220 = temp * f522 * g520;
        m.d5232 = temp * f523 * g532;
        temp = 2.0 * temp1 * Root54;
        m.d5421 = temp * f542 * g521;
        m.d5433 = temp * f543 * g533;
        m.xlamo = std::fmod(m.mo + m.nodeo + m.nodeo - theta - theta, TwoPi);
        m.xfact = m.mdot + m.dmdt + 2.0 * (m.nodedot + m.dnodt - Rptim) - m.no;
    } else {
        // Synchronous (24-hour) resonance.
        const double g200 = 1.0 + emsq * (-2.5 + 0.8125 * emsq);
        const double g310 = 1.0 + 2.0 * emsq;
        const double g300 = 1.0 + emsq * (-6.0 + 6.60937 * emsq);
        const double f220 = 0.75 * (1.0 + c.cosim) * (1.0 + c.cosim);
        const double f311 =
            0.9375 * c.sinim * c.sinim * (1.0 + 3.0 * c.cosim) - 0.75 * (1.0 + c.cosim);
        double f330 = 1.0 + c.cosim;
        f330 = 1.875 * f330 * f330 * f330;
        m.del1 = 3.0 * nm * nm * aonv * aonv;
        m.del2 = 2.0 * m.del1 * f220 * g200 * Q22;
        m.del3 = 3.0 * m.del1 * f330 * g300 * Q33 * aonv;
        m.del1 = m.del1 * f311 * g310 * Q31 * aonv;
        m.xlamo = std::fmod(m.mo + m.nodeo + m.argpo - theta, TwoPi);
        m.xfact = m.mdot + xpidot - Rptim + m.dmdt + m.domdt + m.dnodt - m.no;
    }
}

// A point on the unit circle, cos and sin of an angle; multiplying adds the angles.
struct Turn {
    double c, s;
    static Turn of(double angle) { return {std::cos(angle), std::sin(angle)}; }
    Turn operator*(const Turn& o) const { return {c * o.c - s * o.s, s * o.c + c * o.s}; }
    Turn conjugate() const { return {c, -s}; }
};

// The turn of a small angle by its series, exact in double precision below 0.01 rad (the short-
// period corrections are of the order of J2); larger ones go to the library.
Turn smallTurn(double d) {
    if (std::fabs(d) > 1e-2)
        return Turn::of(d);
    const double d2 = d * d;
    return {1.0 - d2 / 2.0 * (1.0 - d2 / 12.0 * (1.0 - d2 / 30.0)),
            d * (1.0 - d2 / 6.0 * (1.0 - d2 / 20.0 * (1.0 - d2 / 42.0)))};
}

// Mean elements after the deep-space secular and resonance effects (DSPACE). The resonance is
// integrated from epoch on every call, in fixed 720-minute steps, so the result depends on t
// alone (the step grid is the same whichever time was asked for before).
void deepSecular(const OrbitModel& m, double t, double& em, double& argpm, double& inclm,
                 double& mm, double& nodem, double& nm) {
    constexpr double Fasx2 = 0.13130908;
    constexpr double Fasx4 = 2.8843198;
    constexpr double Fasx6 = 0.37448087;
    constexpr double G22 = 5.7686396;
    constexpr double G32 = 0.95240898;
    constexpr double G44 = 1.8014998;
    constexpr double G52 = 1.0508330;
    constexpr double G54 = 4.4108898;
    constexpr double Stepp = 720.0;
    constexpr double Stepn = -720.0;
    constexpr double Step2 = 259200.0;

    em = em + m.dedt * t;
    inclm = inclm + m.didt * t;
    argpm = argpm + m.domdt * t;
    nodem = nodem + m.dnodt * t;
    mm = mm + m.dmdt * t;
    if (m.irez == 0)
        return;

    const double theta = std::fmod(m.gsto + t * Rptim, TwoPi);
    double atime = 0.0;
    double xni = m.no;
    double xli = m.xlamo;
    const double delt = t > 0.0 ? Stepp : Stepn;
    double xndt = 0, xldot = 0, xnddt = 0, ft = 0;
    // The resonance terms are sines and cosines of sums of a few angles: built from one turn per
    // angle by multiplication, two library calls instead of twenty per step (results agree to
    // the last bits or so).
    static const Turn Fas2 = Turn::of(-Fasx2), Fas4 = Turn::of(-2.0 * Fasx4),
                      Fas6 = Turn::of(-3.0 * Fasx6), Ph22 = Turn::of(-G22), Ph32 = Turn::of(-G32),
                      Ph44 = Turn::of(-G44), Ph52 = Turn::of(-G52), Ph54 = Turn::of(-G54);
    for (;;) {
        const Turn li = Turn::of(xli);
        const Turn li2 = li * li;
        if (m.irez != 2) {
            const Turn a = li * Fas2, b = li2 * Fas4, c = li2 * li * Fas6;
            xndt = m.del1 * a.s + m.del2 * b.s + m.del3 * c.s;
            xldot = xni + m.xfact;
            xnddt = m.del1 * a.c + 2.0 * m.del2 * b.c + 3.0 * m.del3 * c.c;
            xnddt = xnddt * xldot;
        } else {
            const Turn om = Turn::of(m.argpo + m.argpdot * atime);
            const Turn om2 = om * om, back = om.conjugate();
            const Turn t2201 = om2 * li * Ph22, t2211 = li * Ph22;
            const Turn t3210 = om * li * Ph32, t3222 = back * li * Ph32;
            const Turn t4410 = om2 * li2 * Ph44, t4422 = li2 * Ph44;
            const Turn t5220 = om * li * Ph52, t5232 = back * li * Ph52;
            const Turn t5421 = om * li2 * Ph54, t5433 = back * li2 * Ph54;
            xndt = m.d2201 * t2201.s + m.d2211 * t2211.s + m.d3210 * t3210.s + m.d3222 * t3222.s +
                   m.d4410 * t4410.s + m.d4422 * t4422.s + m.d5220 * t5220.s + m.d5232 * t5232.s +
                   m.d5421 * t5421.s + m.d5433 * t5433.s;
            xldot = xni + m.xfact;
            xnddt = m.d2201 * t2201.c + m.d2211 * t2211.c + m.d3210 * t3210.c + m.d3222 * t3222.c +
                    m.d5220 * t5220.c + m.d5232 * t5232.c +
                    2.0 * (m.d4410 * t4410.c + m.d4422 * t4422.c + m.d5421 * t5421.c +
                           m.d5433 * t5433.c);
            xnddt = xnddt * xldot;
        }
        if (std::fabs(t - atime) < Stepp) {
            ft = t - atime;
            break;
        }
        xli = xli + xldot * delt + xndt * Step2;
        xni = xni + xndt * delt + xnddt * Step2;
        atime = atime + delt;
    }
    nm = xni + xndt * ft + xnddt * ft * ft * 0.5;
    const double xl = xli + xldot * ft + xndt * ft * ft * 0.5;
    if (m.irez != 1)
        mm = xl - 2.0 * nodem + 2.0 * theta;
    else
        mm = xl - nodem - argpm + theta;
}

// Lunar-solar periodics (DPPER), applied to the elements in place.
void deepPeriodics(const OrbitModel& m, double t, double& ep, double& inclp, double& nodep,
                   double& argpp, double& mp) {
    double zm = m.zmos + Zns * t;
    double zf = zm + 2.0 * Zes * std::sin(zm);
    double sinzf = std::sin(zf);
    double f2 = 0.5 * sinzf * sinzf - 0.25;
    double f3 = -0.5 * sinzf * std::cos(zf);
    const double ses = m.se2 * f2 + m.se3 * f3;
    const double sis = m.si2 * f2 + m.si3 * f3;
    const double sls = m.sl2 * f2 + m.sl3 * f3 + m.sl4 * sinzf;
    const double sghs = m.sgh2 * f2 + m.sgh3 * f3 + m.sgh4 * sinzf;
    const double shs = m.sh2 * f2 + m.sh3 * f3;

    zm = m.zmol + Znl * t;
    zf = zm + 2.0 * Zel * std::sin(zm);
    sinzf = std::sin(zf);
    f2 = 0.5 * sinzf * sinzf - 0.25;
    f3 = -0.5 * sinzf * std::cos(zf);
    const double sel = m.ee2 * f2 + m.e3 * f3;
    const double sil = m.xi2 * f2 + m.xi3 * f3;
    const double sll = m.xl2 * f2 + m.xl3 * f3 + m.xl4 * sinzf;
    const double sghl = m.xgh2 * f2 + m.xgh3 * f3 + m.xgh4 * sinzf;
    const double shll = m.xh2 * f2 + m.xh3 * f3;

    const double pe = ses + sel - m.peo;
    const double pinc = sis + sil - m.pinco;
    const double pl = sls + sll - m.plo;
    double pgh = sghs + sghl - m.pgho;
    double ph = shs + shll - m.pho;

    inclp = inclp + pinc;
    ep = ep + pe;
    const double sinip = std::sin(inclp);
    const double cosip = std::cos(inclp);
    if (inclp >= 0.2) {
        ph = ph / sinip;
        pgh = pgh - cosip * ph;
        argpp = argpp + pgh;
        nodep = nodep + ph;
        mp = mp + pl;
        return;
    }
    // Low inclination: Lyddane's modification, in non-singular variables.
    const double sinop = std::sin(nodep);
    const double cosop = std::cos(nodep);
    double alfdp = sinip * sinop;
    double betdp = sinip * cosop;
    const double dalf = ph * cosop + pinc * cosip * sinop;
    const double dbet = -ph * sinop + pinc * cosip * cosop;
    alfdp = alfdp + dalf;
    betdp = betdp + dbet;
    nodep = std::fmod(nodep, TwoPi);
    double xls = mp + argpp + cosip * nodep;
    const double dls = pl + pgh - pinc * nodep * sinip;
    xls = xls + dls;
    const double xnoh = nodep;
    nodep = std::atan2(alfdp, betdp);
    // Keep the node on the same turn as before, so the argument of perigee does not jump.
    if (std::fabs(xnoh - nodep) > Pi) {
        if (nodep < xnoh)
            nodep = nodep + TwoPi;
        else
            nodep = nodep - TwoPi;
    }
    mp = mp + pl;
    argpp = xls - mp - cosip * nodep;
}

} // namespace

const char* describe(OrbitError error) {
    switch (error) {
    case OrbitError::None:
        return "no error";
    case OrbitError::MeanElements:
        return "the mean eccentricity is out of range (the elements are not usable)";
    case OrbitError::MeanMotion:
        return "the mean motion is not positive";
    case OrbitError::PerturbedElements:
        return "the perturbed eccentricity is out of range";
    case OrbitError::SemiLatusRectum:
        return "the semi-latus rectum is negative";
    case OrbitError::Decayed:
        return "the satellite has decayed";
    }
    return "unknown error";
}

Propagator::Propagator(const Tle& tle) : model_(std::make_unique<OrbitModel>()) {
    OrbitModel& m = *model_;
    m.epochJd = tle.epochJd();
    constexpr double RevPerDayToRadPerMin = TwoPi / MinutesPerDay;
    m.bstar = tle.bstar;
    m.ecco = tle.eccentricity;
    m.inclo = tle.inclinationDeg * DegToRad;
    m.nodeo = tle.raanDeg * DegToRad;
    m.argpo = tle.argPerigeeDeg * DegToRad;
    m.mo = tle.meanAnomalyDeg * DegToRad;
    m.noKozai = tle.meanMotionRevPerDay * RevPerDayToRadPerMin;

    // Elements that would make the initialisation itself divide by zero or take roots of
    // negative numbers are refused here; everything else is judged by propagating to epoch.
    const bool finite = std::isfinite(m.bstar) && std::isfinite(m.ecco) && std::isfinite(m.inclo) &&
                        std::isfinite(m.nodeo) && std::isfinite(m.argpo) && std::isfinite(m.mo) &&
                        std::isfinite(m.noKozai) && std::isfinite(m.epochJd);
    if (!finite || m.ecco < 0.0 || m.ecco >= 1.0) {
        m.usable = false;
        m.initError = OrbitError::MeanElements;
        return;
    }
    if (!(m.noKozai > 0.0)) {
        m.usable = false;
        m.initError = OrbitError::MeanMotion;
        return;
    }

    // Recover the original mean motion (Brouwer) from the Kozai one in the element set.
    const double eccsq = m.ecco * m.ecco;
    const double omeosq = 1.0 - eccsq;
    const double rteosq = std::sqrt(omeosq);
    const double cosio = std::cos(m.inclo);
    const double cosio2 = cosio * cosio;
    const double ak = std::pow(Xke / m.noKozai, X2o3);
    const double d1 = 0.75 * J2 * (3.0 * cosio2 - 1.0) / (rteosq * omeosq);
    double del = d1 / (ak * ak);
    const double adel = ak * (1.0 - del * del - del * (1.0 / 3.0 + 134.0 * del * del / 81.0));
    del = d1 / (adel * adel);
    m.no = m.noKozai / (1.0 + del);
    const double ao = std::pow(Xke / m.no, X2o3);
    const double sinio = std::sin(m.inclo);
    m.sinio = sinio;
    m.cosio = cosio;
    const double po = ao * omeosq;
    const double con42 = 1.0 - 5.0 * cosio2;
    m.con41 = -con42 - cosio2 - cosio2;
    const double posq = po * po;
    const double rp = ao * (1.0 - m.ecco);
    const double epoch = m.epochJd - Jd1950;
    m.gsto = gmstRadians(m.epochJd);

    // Atmosphere: the density function's s and (q0 - s)^4, lowered for low perigees.
    const double ss = 78.0 / EarthRadiusKm + 1.0;
    const double qzms2t = std::pow((120.0 - 78.0) / EarthRadiusKm, 4);
    m.isimp = rp < 220.0 / EarthRadiusKm + 1.0;
    double sfour = ss;
    double qzms24 = qzms2t;
    const double perige = (rp - 1.0) * EarthRadiusKm;
    if (perige < 156.0) {
        sfour = perige - 78.0;
        if (perige < 98.0)
            sfour = 20.0;
        qzms24 = std::pow((120.0 - sfour) / EarthRadiusKm, 4);
        sfour = sfour / EarthRadiusKm + 1.0;
    }
    const double pinvsq = 1.0 / posq;
    const double tsi = 1.0 / (ao - sfour);
    m.eta = ao * m.ecco * tsi;
    const double etasq = m.eta * m.eta;
    const double eeta = m.ecco * m.eta;
    const double psisq = std::fabs(1.0 - etasq);
    const double coef = qzms24 * std::pow(tsi, 4);
    const double coef1 = coef / std::pow(psisq, 3.5);
    const double cc2 = coef1 * m.no *
                       (ao * (1.0 + 1.5 * etasq + eeta * (4.0 + etasq)) +
                        0.375 * J2 * tsi / psisq * m.con41 * (8.0 + 3.0 * etasq * (8.0 + etasq)));
    m.cc1 = m.bstar * cc2;
    double cc3 = 0.0;
    if (m.ecco > 1.0e-4)
        cc3 = -2.0 * coef * tsi * J3oJ2 * m.no * sinio / m.ecco;
    m.x1mth2 = 1.0 - cosio2;
    m.cc4 =
        2.0 * m.no * coef1 * ao * omeosq *
        (m.eta * (2.0 + 0.5 * etasq) + m.ecco * (0.5 + 2.0 * etasq) -
         J2 * tsi / (ao * psisq) *
             (-3.0 * m.con41 * (1.0 - 2.0 * eeta + etasq * (1.5 - 0.5 * eeta)) +
              0.75 * m.x1mth2 * (2.0 * etasq - eeta * (1.0 + etasq)) * std::cos(2.0 * m.argpo)));
    m.cc5 = 2.0 * coef1 * ao * omeosq * (1.0 + 2.75 * (etasq + eeta) + eeta * etasq);

    // Secular rates from the zonal harmonics.
    const double cosio4 = cosio2 * cosio2;
    const double temp1 = 1.5 * J2 * pinvsq * m.no;
    const double temp2 = 0.5 * temp1 * J2 * pinvsq;
    const double temp3 = -0.46875 * J4 * pinvsq * pinvsq * m.no;
    m.mdot = m.no + 0.5 * temp1 * rteosq * m.con41 +
             0.0625 * temp2 * rteosq * (13.0 - 78.0 * cosio2 + 137.0 * cosio4);
    m.argpdot = -0.5 * temp1 * con42 + 0.0625 * temp2 * (7.0 - 114.0 * cosio2 + 395.0 * cosio4) +
                temp3 * (3.0 - 36.0 * cosio2 + 49.0 * cosio4);
    const double xhdot1 = -temp1 * cosio;
    m.nodedot =
        xhdot1 + (0.5 * temp2 * (4.0 - 19.0 * cosio2) + 2.0 * temp3 * (3.0 - 7.0 * cosio2)) * cosio;
    const double xpidot = m.argpdot + m.nodedot;
    m.omgcof = m.bstar * cc3 * std::cos(m.argpo);
    m.xmcof = 0.0;
    if (m.ecco > 1.0e-4)
        m.xmcof = -X2o3 * coef * m.bstar / eeta;
    m.nodecf = 3.5 * omeosq * xhdot1 * m.cc1;
    m.t2cof = 1.5 * m.cc1;
    // At exactly 180 degrees of inclination 1 + cos i is zero: a small floor keeps it finite.
    const double onePlusCos = std::fabs(cosio + 1.0) > 1.5e-12 ? 1.0 + cosio : 1.5e-12;
    m.xlcof = -0.25 * J3oJ2 * sinio * (3.0 + 5.0 * cosio) / onePlusCos;
    m.aycof = -0.5 * J3oJ2 * sinio;
    const double delmotemp = 1.0 + m.eta * std::cos(m.mo);
    m.delmo = delmotemp * delmotemp * delmotemp;
    m.sinmao = std::sin(m.mo);
    m.x7thm1 = 7.0 * cosio2 - 1.0;

    // Periods of 225 minutes and more get the deep-space (lunar, solar, resonance) terms.
    if (TwoPi / m.no >= 225.0) {
        m.deepSpace = true;
        m.isimp = true;
        const DeepCommon c = deepCommon(epoch, m.ecco, m.argpo, 0.0, m.inclo, m.nodeo, m.no, m);
        deepInit(c, eccsq, xpidot, m);
    }

    if (!m.isimp) {
        const double cc1sq = m.cc1 * m.cc1;
        m.d2 = 4.0 * ao * tsi * cc1sq;
        const double temp = m.d2 * tsi * m.cc1 / 3.0;
        m.d3 = (17.0 * ao + sfour) * temp;
        m.d4 = 0.5 * temp * ao * tsi * (221.0 * ao + 31.0 * sfour) * m.cc1;
        m.t3cof = m.d2 + 2.0 * cc1sq;
        m.t4cof = 0.25 * (3.0 * m.d3 + m.cc1 * (12.0 * m.d2 + 10.0 * cc1sq));
        m.t5cof = 0.2 * (3.0 * m.d4 + 12.0 * m.cc1 * m.d3 + 6.0 * m.d2 * m.d2 +
                         15.0 * cc1sq * (2.0 * m.d2 + cc1sq));
    }

    m.initError = propagate(0.0).error;
}

Propagator::~Propagator() = default;
Propagator::Propagator(const Propagator& other)
    : model_(std::make_unique<OrbitModel>(*other.model_)) {}
Propagator& Propagator::operator=(const Propagator& other) {
    if (this != &other)
        model_ = std::make_unique<OrbitModel>(*other.model_);
    return *this;
}
Propagator::Propagator(Propagator&&) noexcept = default;
Propagator& Propagator::operator=(Propagator&&) noexcept = default;

OrbitError Propagator::initError() const {
    return model_->initError;
}
bool Propagator::isDeepSpace() const {
    return model_->deepSpace;
}
double Propagator::epochJd() const {
    return model_->epochJd;
}

Propagation Propagator::propagate(double t) const {
    const OrbitModel& m = *model_;
    Propagation result;
    if (!m.usable) {
        result.error = m.initError;
        return result;
    }
    if (!std::isfinite(t)) {
        result.error = OrbitError::MeanElements;
        return result;
    }

    // Secular gravity and atmospheric drag.
    const double xmdf = m.mo + m.mdot * t;
    const double argpdf = m.argpo + m.argpdot * t;
    const double nodedf = m.nodeo + m.nodedot * t;
    double argpm = argpdf;
    double mm = xmdf;
    const double t2 = t * t;
    double nodem = nodedf + m.nodecf * t2;
    double tempa = 1.0 - m.cc1 * t;
    double tempe = m.bstar * m.cc4 * t;
    double templ = m.t2cof * t2;
    if (!m.isimp) {
        const double delomg = m.omgcof * t;
        const double delmtemp = 1.0 + m.eta * std::cos(xmdf);
        const double delm = m.xmcof * (delmtemp * delmtemp * delmtemp - m.delmo);
        const double temp = delomg + delm;
        mm = xmdf + temp;
        argpm = argpdf - temp;
        const double t3 = t2 * t;
        const double t4 = t3 * t;
        tempa = tempa - m.d2 * t2 - m.d3 * t3 - m.d4 * t4;
        tempe = tempe + m.bstar * m.cc5 * (std::sin(mm) - m.sinmao);
        templ = templ + m.t3cof * t3 + t4 * (m.t4cof + t * m.t5cof);
    }
    double nm = m.no;
    double em = m.ecco;
    double inclm = m.inclo;
    if (m.deepSpace)
        deepSecular(m, t, em, argpm, inclm, mm, nodem, nm);

    if (!(nm > 0.0)) {
        result.error = OrbitError::MeanMotion;
        return result;
    }
    // cbrt and sqrt rather than pow: a third of a near-earth propagation's time.
    const double xn = Xke / nm;
    const double am = std::cbrt(xn * xn) * tempa * tempa;
    nm = Xke / (am * std::sqrt(am));
    em = em - tempe;
    if (!(em < 1.0 && em >= -0.001)) {
        result.error = OrbitError::MeanElements;
        return result;
    }
    if (em < 1.0e-6)
        em = 1.0e-6; // keeps the long-period terms from dividing by zero
    mm = mm + m.no * templ;
    double xlm = mm + argpm + nodem;
    nodem = std::fmod(nodem, TwoPi);
    argpm = std::fmod(argpm, TwoPi);
    xlm = std::fmod(xlm, TwoPi);
    mm = std::fmod(xlm - argpm - nodem, TwoPi);

    // Lunar-solar periodics.
    double ep = em;
    double xincp = inclm;
    double argpp = argpm;
    double nodep = nodem;
    double mp = mm;
    // Near-earth orbits keep their inclination; deep-space ones get theirs after the periodics.
    double sinip = m.sinio;
    double cosip = m.cosio;
    double aycof = m.aycof;
    double xlcof = m.xlcof;
    if (m.deepSpace) {
        deepPeriodics(m, t, ep, xincp, nodep, argpp, mp);
        if (xincp < 0.0) {
            xincp = -xincp;
            nodep = nodep + Pi;
            argpp = argpp - Pi;
        }
        if (ep < 0.0 || ep > 1.0) {
            result.error = OrbitError::PerturbedElements;
            return result;
        }
        sinip = std::sin(xincp);
        cosip = std::cos(xincp);
        aycof = -0.5 * J3oJ2 * sinip;
        const double onePlusCos = std::fabs(cosip + 1.0) > 1.5e-12 ? 1.0 + cosip : 1.5e-12;
        xlcof = -0.25 * J3oJ2 * sinip * (3.0 + 5.0 * cosip) / onePlusCos;
    }

    // Long-period periodics.
    const double axnl = ep * std::cos(argpp);
    double temp = 1.0 / (am * (1.0 - ep * ep));
    const double aynl = ep * std::sin(argpp) + temp * aycof;
    const double xl = mp + argpp + nodep + temp * xlcof * axnl;

    // Kepler's equation in Lyddane's variables, with the Newton step limited so that it
    // cannot run away for eccentric orbits.
    const double u = std::fmod(xl - nodep, TwoPi);
    double eo1 = u;
    double tem5 = 9999.9;
    double sineo1 = 0.0, coseo1 = 0.0;
    for (int ktr = 1; std::fabs(tem5) >= 1.0e-12 && ktr <= 10; ++ktr) {
        sineo1 = std::sin(eo1);
        coseo1 = std::cos(eo1);
        tem5 = 1.0 - coseo1 * axnl - sineo1 * aynl;
        tem5 = (u - aynl * coseo1 + axnl * sineo1 - eo1) / tem5;
        if (std::fabs(tem5) >= 0.95)
            tem5 = tem5 > 0.0 ? 0.95 : -0.95;
        eo1 = eo1 + tem5;
    }

    // Short-period preliminaries.
    const double ecose = axnl * coseo1 + aynl * sineo1;
    const double esine = axnl * sineo1 - aynl * coseo1;
    const double el2 = axnl * axnl + aynl * aynl;
    const double pl = am * (1.0 - el2);
    if (!(pl >= 0.0)) {
        result.error = OrbitError::SemiLatusRectum;
        return result;
    }
    const double rl = am * (1.0 - ecose);
    const double rdotl = std::sqrt(am) * esine / rl;
    const double rvdotl = std::sqrt(pl) / rl;
    const double betal = std::sqrt(1.0 - el2);
    temp = esine / (1.0 + betal);
    const double sinu = am / rl * (sineo1 - aynl - axnl * temp);
    const double cosu = am / rl * (coseo1 - axnl + aynl * temp);
    const double sin2u = (cosu + cosu) * sinu;
    const double cos2u = 1.0 - 2.0 * sinu * sinu;
    temp = 1.0 / pl;
    const double temp1 = 0.5 * J2 * temp;
    const double temp2 = temp1 * temp;

    double con41 = m.con41, x1mth2 = m.x1mth2, x7thm1 = m.x7thm1;
    if (m.deepSpace) {
        const double cosisq = cosip * cosip;
        con41 = 3.0 * cosisq - 1.0;
        x1mth2 = 1.0 - cosisq;
        x7thm1 = 7.0 * cosisq - 1.0;
    }
    // Short-period periodics.
    const double mrt = rl * (1.0 - 1.5 * temp2 * betal * con41) + 0.5 * temp1 * x1mth2 * cos2u;
    const double xnode = nodep + 1.5 * temp2 * cosip * sin2u;
    const double dinc = 1.5 * temp2 * cosip * sinip * cos2u; // added to the inclination
    const double mvt = rdotl - nm * temp1 * x1mth2 * sin2u / Xke;
    const double rvdot = rvdotl + nm * temp1 * (x1mth2 * cos2u + 1.5 * con41) / Xke;

    // Orientation vectors, then position and velocity.
    // The argument of latitude and the inclination each get a small short-period correction:
    // turned by it rather than taken through atan2, sin and cos again (a fifth of the time).
    const double norm = std::sqrt(sinu * sinu + cosu * cosu);
    const Turn latitude =
        Turn{cosu / norm, sinu / norm} * smallTurn(-0.25 * temp2 * x7thm1 * sin2u);
    const Turn inclination = Turn{cosip, sinip} * smallTurn(dinc);
    const double sinsu = latitude.s;
    const double cossu = latitude.c;
    const double snod = std::sin(xnode);
    const double cnod = std::cos(xnode);
    const double sini = inclination.s;
    const double cosi = inclination.c;
    const double xmx = -snod * cosi;
    const double xmy = cnod * cosi;
    const double ux = xmx * sinsu + cnod * cossu;
    const double uy = xmy * sinsu + snod * cossu;
    const double uz = sini * sinsu;
    const double vx = xmx * cossu - cnod * sinsu;
    const double vy = xmy * cossu - snod * sinsu;
    const double vz = sini * cossu;
    const double vkmpersec = EarthRadiusKm * Xke / 60.0;
    auto& r = result.state.positionKm;
    auto& v = result.state.velocityKmS;
    r = {mrt * ux * EarthRadiusKm, mrt * uy * EarthRadiusKm, mrt * uz * EarthRadiusKm};
    v = {(mvt * ux + rvdot * vx) * vkmpersec, (mvt * uy + rvdot * vy) * vkmpersec,
         (mvt * uz + rvdot * vz) * vkmpersec};

    for (int i = 0; i < 3; ++i) {
        if (!std::isfinite(r[i]) || !std::isfinite(v[i])) {
            result.error = OrbitError::MeanElements;
            result.state = {};
            return result;
        }
    }
    if (mrt < 1.0)
        result.error = OrbitError::Decayed; // the state is kept: where it came down
    return result;
}

Propagation Propagator::at(double jd) const {
    return propagate((jd - model_->epochJd) * MinutesPerDay);
}

} // namespace ravik::orbit
