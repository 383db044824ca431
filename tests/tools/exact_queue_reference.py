#!/usr/bin/python3
"""50-digit references for the exact M/M/s/(s+r)+GI queue model.

What it computes
    For each centre in CENTRES (s agents of rate mu, r waiting places, Poisson
    arrivals of rate lambda, FCFS, iid patience tau ~ G that runs only while a
    caller waits), the fifteen measures
        RHO = lambda/(s mu), P(Loss) (share of offered callers),
        P(NoWait), P(S), P(A), E[W 1_S], E[W^2 1_S], E[W|S], E[W^2|S],
        Var(W|S), E[W 1_A], E[W^2 1_A], E[W|A], E[W^2|A], Var(W|A)
    (shares and moments of ADMITTED callers), and at each moment t of the
    centre
        J(t) = P(0 < W <= t, S),  C(t) = P(W <= t | S),
        SL(t) = (1 - P(Loss)) (P(NoWait) + J(t)).
    Undefined values are written `nan` (the given-A moments when nobody
    abandons or r = 0, the given-S moments and C(t) when s = 0); RHO is `inf`
    for s = 0.  Every input value and moment is taken as the exact binary
    double the calculator reads from its text.

Mathematics (re-derived here; the product form and the integrals below)
    With pi_s = 1, the states with j < s busy agents weigh
    E_s = sum_{j<s} s!/j! a^(j-s), a = lambda/mu, taken from the all-positive
    Erlang B recursion x_0 = 1, x_n = 1 + (n/a) x_(n-1), E_s = (s/a) x_(s-1)
    (cross-checked against e^a Q(s, a) s!/a^s).  With k callers waiting the
    density of their elapsed waits u_1 > ... > u_k is
    lambda^k e^(-s mu u_1) Gbar(u_1)...Gbar(u_k); integrating the non-head ages
    gives the head-age density lambda Gbar(w) K(w), where, with H(w) =
    int_0^w Gbar,
        K(w) = exp(lambda H(w) - s mu w) Q_r(lambda H(w)),
        Q_r(z) = gammainc(r, z, inf, regularized) = P(Poisson(z) <= r - 1).
    Hence the unnormalised total is Z = E_s + 1 + lambda int Gbar K and the
    state with s + r present weighs
        L = lambda int exp(lambda H - s mu w) Gbar p_(r-1)(lambda H) dw,
    whose integrand's log is (r-1) ln(lambda H) - s mu w + ln Gbar - lgamma(r).
    Measures, with J = int K, D = E_s + s mu J (all integrals over w > 0):
        P(Loss)      = L / (E_s + 1 + lambda int Gbar K)   (all terms positive)
        P(NoWait)    = E_s / D
        P(S)         = (E_s + s mu int Gbar K) / D
        P(A)         = s mu int G K / D                    (directly, not 1 - P(S))
        E[W^n 1_S]   = s mu int w^n Gbar K / D,  n = 1, 2
        E[W^n 1_A]   = s mu int m_n K / D,  m_n(w) = int_0^w y^n dG(y)
        Var(W|S)     = [P(NoWait) m_S^2 + s mu int (w - m_S)^2 Gbar K / D] / P(S)
        Var(W|A)     = s mu int (m_2 - 2 m_A m_1 + m_A^2 G) K / D / P(A)
                       (the integrand is int_0^w (y - m_A)^2 dG(y) >= 0)
        J(t)         = s mu int_0^t Gbar K / D
    (served callers: head-age density times the completion rate s mu over the
    admission rate; abandoning callers: P(A, W in dy) = g(y) P(V > y) dy with
    the offered wait V of density s mu K / D, and Fubini).
    r = 0 is Erlang B: P(Loss) = 1/(E_s + 1), nobody waits.  s = 0: nobody is
    served, the waiting callers form an M/G/r/r system in their patience, so
    P(Loss) is Erlang B with r places and load lambda E[tau] (computed by the
    recursion and checked against the integral form L / Z, which stays valid
    for s = 0), P(A) = 1 and the given-A moments are those of tau.
    Patience (the calculator's input): type 0 exponential of rate p1; type 1
    Erlang, floor(p2) phases of rate p1; type 2 lognormal with mean p1 and
    variance p2 (sigma^2 = ln(1 + p2/p1^2), m = ln p1 - sigma^2/2, true
    erfc); p1 = 0 in types 0 and 1 means nobody abandons (Gbar = 1).

Method
    mpmath at mp.dps = 50 (mpmath.quad evaluates at 70 digits).  psi = ln K is
    unimodal (psi' = lambda Gbar (1 - h_r(lambda H)) - s mu with h_r the
    non-decreasing hazard of Gamma(r, 1)); its mode is found by bisection on
    psi', then breakpoints where psi has fallen by DELTA, 2 DELTA, ... on both
    sides, down to psi_max - CUT (e^-CUT < 1e-65).  The loss integrand gets its
    own mode and breakpoints the same way.  Added: quantiles of G, the moments
    t.  Every integrand is scaled by exp(-psi_max) (or exp(-phi_max) for L),
    so huge s costs nothing; mpmath's unbounded exponents then combine them.
    Each interval is integrated with mpmath.quad (tanh-sinh); the values of
    Gbar, G, H, m_1, m_2, Q_r at a node are cached and shared by all
    integrands.  mpmath.quad stops on an absolute error, so an integral found
    below 1e-6 is integrated again divided by its size.  The tail past the
    last breakpoint is bounded in closed form (psi' <= -min(-psi'(w_T), s mu)
    there) and checked to be below 1e-55 relative.

Self-checks (asserted for every centre; the worst are printed)
    - lambda int Gbar K = s mu J - 1 + L  and  int Gbar K + int G K = J
      (relative residual <= 1e-40), P(S) + P(A) = 1;
    - E_s from the recursion against e^a Q(s, a) s!/a^s;
    - exponential patience (and no abandonment): an independent birth-death
      chain on 0..s+r (deaths i mu for i <= s, s mu + k theta with k waiting):
      P(Loss) = pi_(s+r); P(NoWait); P(S) and P(A) both from the tagged caller's
      absorbing chain and from the throughputs mu E[busy], theta E[waiting];
      E[W^n 1_S], E[W^n 1_A] from the tagged caller's sojourns; J(t) by
      uniformisation of the tagged caller's chain.  Agreement to 1e-30
      relative is asserted for all of these;
    - s = 0: Erlang B against the integral form.

Where it breaks
    The breakpoint search assumes the loss integrand is unimodal too; that is
    proved only when the patience hazard is non-decreasing (exponential,
    Erlang), not for the lognormal, whose hazard falls in the tail.  Every
    centre here was checked once on a log grid from 3e-8 to 1e5 (one sign
    change of its slope), and a
    wrong right end would fail the tail-bound assertion, which is rigorous
    (Gbar/H decreases, h >= 0).  s = 0 with nobody abandoning, and s = r = 0,
    are not handled.

Results of the last full run (14 centres)
    Time: about 2 minutes of one core (pure-Python mpmath, no gmpy2); the
    slowest centre, erlang2-20000-overloaded, takes about 25 s.  With
    --recheck every centre is evaluated a second time with other breakpoints
    (DELTA = 4, CUT = 165) and compared: about 4 minutes.
    - worst identity residual 2.3e-50 (lognormal-loss-largest-room);
    - worst chain disagreement 4.2e-48 (large-exponential, over P(Loss) =
      8e-175, P(NoWait), P(S), P(A), the four S- and four A-moments, the
      throughput forms of P(S), P(A), and J(t));
    - worst change with other breakpoints 2.3e-49; mpmath's own error estimates
      at most 5e-46 relative; tail bounds below 7e-60 relative;
    - E_s from the recursion and from gammainc agree within the asserted 1e-40;
      Erlang B by recursion and by the integral form agree to 1.5e-51 (s = 0)
      and 8e-51 (r = 0).
    The 40 written digits are therefore all correct for the exact binary
    inputs.  Some values are far below double range (P(Loss) = 4e-49403 in
    lognormal-one-agent-underloaded, P(NoWait) = 2e-556 in
    erlang2-20000-overloaded); they are written as computed.

Run from the repository root:
    /usr/bin/python3 tests/tools/exact_queue_reference.py [--recheck] [--only NAME ...]
It writes tests/data/exact_queue/references.txt (with --only it prints to
standard output instead and writes nothing); the checks go to standard error.
"""
import math
import os
import sys
import time

import mpmath
from mpmath import mp, mpf

mp.dps = 50

# name: (13 INPUT.DAT values, moments, note)
CENTRES = [
    ("typical-exponential", "1 0 0.5 -1 -1 10 20 1.0 9.5 0.1 32 5 0", "0.1 0.5 1 2 5", ""),
    ("erlang3-twenty", "1 1 1.5 3 -1 20 40 1.0 17 0.1 32 5 0", "0.05 0.3 1 3", ""),
    ("erlang12-one-agent", "1 1 12 12 -1 1 4 1.0 0.9 0.1 32 5 0", "0.1 0.5 2", ""),
    ("lognormal-cv05-28",
     "1 2 1 0.25 -1 28 200 0.3333333333333333 8.733333333333333 0.1 32 5 0",
     "0.3333333333333333 1 3",
     "262 calls per half-hour, AHT 3 min, patience mean 1 min CV 0.5"),
    ("lognormal-cv1-room0", "1 2 1 1 -1 10 0 1.0 9 0.1 32 5 0", "0.5", ""),
    ("exponential-room1", "1 0 0.5 -1 -1 3 1 1.0 2.5 0.1 32 5 0", "1e-9 0.3 4", ""),
    ("large-exponential", "1 0 0.5 -1 -1 500 1000 1.0 495 0.001 32 0.1 0", "0.001 0.02 0.1", ""),
    ("lognormal-6688-largest-room", "1 2 1 1 -1 6688 13376 1.0 6700 0.01 32 1 0",
     "0.001 0.01 0.1", ""),
    ("erlang2-20000-overloaded", "1 1 2 2 -1 20000 13376 1.0 25000 0.01 32 1 0",
     "0.01 0.1 1", ""),
    ("lognormal-one-agent-underloaded", "1 2 2 4 -1 1 13376 1.0 0.5 0.1 32 5 0",
     "0.5 3 20", ""),
    ("erlang3-overloaded-small", "1 1 1.5 3 -1 4 30 1.0 6 0.1 32 5 0", "0.2 2 8", ""),
    ("no-abandonment", "1 0 0 -1 -1 5 40 1.0 4.8 0.1 32 5 0", "0.05 1 6 30",
     "exponential rate 0: nobody abandons"),
    ("no-agents", "1 2 1 0.5 -1 0 5 1.0 3 0.1 32 5 0", "0.5",
     "s = 0: nobody is served"),
    # the room binds: the waiting line is about Poisson(lambda H(w*)) ~ 13,000 long
    ("lognormal-loss-largest-room", "1 2 1 1 -1 1000 13376 1.0 14500 0.1 32 5 0", "0.1",
     "s = 1000, lambda = 14500 chosen for P(Loss) about 1.2e-3"),
    ("erlang2-impatient", "1 1 200 2 -1 4 11 0.01 0.03 0.1 32 5 0", "0.001 0.01 1",
     "patience (mean 0.01) a hundredth of the service time scale"),
]

LABELS = ["RHO", "P(Loss)", "P(NoWait)", "P(S)", "P(A)", "E[W1_S]", "E[W^21_S]", "E[W|S]",
          "E[W^2|S]", "Var(W|S)", "E[W1_A]", "E[W^21_A]", "E[W|A]", "E[W^2|A]", "Var(W|A)"]

DELTA = 6       # fall of the log-integrand per interval: tanh-sinh converges at degree <= 6
CUT = 170       # e^-170 = 1.5e-74: the integrand past the last breakpoint is negligible, also where K decays slowly
LOW_DPS = 20    # breakpoints need only a few digits
IDENTITY_TOL = mpf("1e-40")
CHAIN_TOL = mpf("1e-30")
NAN = mpf("nan")


def d(text):
    """The exact binary double the calculator reads from this text."""
    return mpf(float(text))


class Patience:
    """Gbar, G, H = int_0^w Gbar, m_1, m_2 of the patience law, in closed form."""

    def __init__(self, kind, p1, p2):
        self.none = False
        if kind in (0, 1) and p1 == 0:
            self.none = True
            self.kind = "none"
        elif kind == 0:
            self.kind, self.theta = "exp", p1
        elif kind == 1:
            self.kind, self.theta, self.k = "erlang", p1, int(math.floor(p2))
        elif kind == 2:
            self.kind = "lognormal"
            self.sigma2 = mpmath.log(1 + p2 / p1 ** 2)
            self.sigma = mpmath.sqrt(self.sigma2)
            self.m = mpmath.log(p1) - self.sigma2 / 2
            self.p1, self.p2 = p1, p2
        else:
            raise ValueError(kind)

    def moments(self):
        """E[tau], E[tau^2]."""
        if self.kind == "exp":
            return 1 / self.theta, 2 / self.theta ** 2
        if self.kind == "erlang":
            return self.k / self.theta, self.k * (self.k + 1) / self.theta ** 2
        if self.kind == "lognormal":
            return self.p1, self.p1 ** 2 + self.p2
        return mpmath.inf, mpmath.inf

    def values(self, w):
        if self.kind == "none":
            return mpf(1), mpf(0), w, mpf(0), mpf(0)
        if self.kind == "exp":
            x = self.theta * w
            gb = mpmath.exp(-x)
            g = -mpmath.expm1(-x)
            m1 = mpmath.gammainc(2, 0, x, regularized=True) / self.theta
            m2 = 2 * mpmath.gammainc(3, 0, x, regularized=True) / self.theta ** 2
            return gb, g, g / self.theta, m1, m2
        if self.kind == "erlang":
            k, th = self.k, self.theta
            x = th * w
            gb = mpmath.gammainc(k, x, mpmath.inf, regularized=True)
            g = mpmath.gammainc(k, 0, x, regularized=True)
            m1 = k / th * mpmath.gammainc(k + 1, 0, x, regularized=True)
            m2 = k * (k + 1) / th ** 2 * mpmath.gammainc(k + 2, 0, x, regularized=True)
            return gb, g, m1 + w * gb, m1, m2
        z = (mpmath.log(w) - self.m) / self.sigma
        r2 = mpmath.sqrt(2)
        gb = mpmath.erfc(z / r2) / 2
        g = mpmath.erfc(-z / r2) / 2
        m1 = mpmath.exp(self.m + self.sigma2 / 2) * mpmath.erfc(-(z - self.sigma) / r2) / 2
        m2 = mpmath.exp(2 * self.m + 2 * self.sigma2) * mpmath.erfc(-(z - 2 * self.sigma) / r2) / 2
        return gb, g, m1 + w * gb, m1, m2

    def hazard(self, w):
        if self.kind == "none":
            return mpf(0)
        if self.kind == "exp":
            return self.theta
        if self.kind == "erlang":
            k, th = self.k, self.theta
            x = th * w
            return th * mpmath.exp((k - 1) * mpmath.log(x) - x - mpmath.loggamma(k)) / \
                mpmath.gammainc(k, x, mpmath.inf, regularized=True)
        z = (mpmath.log(w) - self.m) / self.sigma
        dens = mpmath.npdf(z) / (self.sigma * w)
        return dens / (mpmath.erfc(z / mpmath.sqrt(2)) / 2)

    def quantile(self, p, upper=False):
        """G^-1(p) (upper: Gbar^-1(p)), a few digits."""
        with mp.workdps(max(LOW_DPS, 80)):
            p = mpf(p)
            q = 1 - p if not upper else p  # Gbar at the quantile
            if self.kind == "exp":
                return -mpmath.log(q) / self.theta
            if self.kind == "lognormal":
                pl = p if not upper else 1 - p
                z = mpmath.sqrt(2) * mpmath.erfinv(2 * pl - 1) if not upper else \
                    -mpmath.sqrt(2) * mpmath.erfinv(2 * p - 1)
                return mpmath.exp(self.m + self.sigma * z)
            # Erlang: bisection on ln x
            k = self.k
            lo, hi = mpf(-200), mpf(10)
            while mpmath.gammainc(k, mpmath.exp(hi), mpmath.inf, regularized=True) > q:
                hi += 5
            for _ in range(80):
                mid = (lo + hi) / 2
                if mpmath.gammainc(k, mpmath.exp(mid), mpmath.inf, regularized=True) > q:
                    lo = mid
                else:
                    hi = mid
            return mpmath.exp(hi) / self.theta


class Centre:
    def __init__(self, name, values, moments, note):
        self.name, self.values, self.note = name, values, note
        v = values.split()
        assert len(v) == 13, name
        self.kind = int(v[1])
        self.p1, self.p2 = d(v[2]), d(v[3])
        self.s, self.r = int(v[5]), int(v[6])
        self.mu, self.lam = d(v[7]), d(v[8])
        self.moment_texts = moments.split()
        self.ts = [d(t) for t in self.moment_texts]
        self.pat = Patience(self.kind, self.p1, self.p2)


def erlang_b_inverse(n, a):
    """1/B(n, a) = sum_{j<=n} n!/j! a^(j-n) by x_0 = 1, x_k = 1 + (k/a) x_(k-1)."""
    x = mpf(1)
    for k in range(1, n + 1):
        x = 1 + k / a * x
    return x


def e_s(s, a):
    """E_s = sum_{j<s} s!/j! a^(j-s); checked against e^a Q(s, a) s!/a^s."""
    if s == 0:
        return mpf(0)
    val = s / a * erlang_b_inverse(s - 1, a)
    other = mpmath.exp(a + mpmath.log(mpmath.gammainc(s, a, mpmath.inf, regularized=True))
                       + mpmath.loggamma(s + 1) - s * mpmath.log(a))
    assert abs(other / val - 1) < IDENTITY_TOL, (val, other)
    return val


class Model:
    """Node values and log-integrands of one centre with s >= 1, r >= 1."""

    def __init__(self, c):
        self.c = c
        self.s, self.r, self.lam, self.mu = c.s, c.r, c.lam, c.mu
        self.smu = self.s * self.mu
        self.lgr = mpmath.loggamma(self.r)
        self.cache = {}
        self.evaluations = 0

    # --- low-precision shape, for breakpoints -------------------------------
    def psi(self, w):
        if w == 0:
            return mpf(0)
        gb, g, H, m1, m2 = self.c.pat.values(w)
        z = self.lam * H
        return z - self.smu * w + mpmath.log(mpmath.gammainc(self.r, z, mpmath.inf, regularized=True))

    def hr(self, z):
        """Hazard of Gamma(r, 1): p_(r-1)(z)/Q_r(z)."""
        if z == 0:
            return mpf(1) if self.r == 1 else mpf(0)
        return mpmath.exp((self.r - 1) * mpmath.log(z) - z - self.lgr
                          - mpmath.log(mpmath.gammainc(self.r, z, mpmath.inf, regularized=True)))

    def dpsi(self, w):
        if w == 0:
            return self.lam * (1 - self.hr(mpf(0))) - self.smu
        gb, g, H, m1, m2 = self.c.pat.values(w)
        return self.lam * gb * (1 - self.hr(self.lam * H)) - self.smu

    def phi(self, w):
        """ln of the loss integrand without lambda and lgamma(r)."""
        if w == 0:
            return mpf(0) if self.r == 1 else mpf("-inf")
        gb, g, H, m1, m2 = self.c.pat.values(w)
        return (self.r - 1) * mpmath.log(self.lam * H) - self.smu * w + mpmath.log(gb)

    def dphi(self, w):
        if w == 0:
            return -self.smu if self.r == 1 else mpf("inf")
        gb, g, H, m1, m2 = self.c.pat.values(w)
        return (self.r - 1) * gb / H - self.smu - self.c.pat.hazard(w)

    # --- 70-digit node values, shared by all integrands ---------------------
    def node(self, w):
        hit = self.cache.get(w)
        if hit is not None:
            return hit
        self.evaluations += 1
        gb, g, H, m1, m2 = self.c.pat.values(w)
        z = self.lam * H
        lnq = mpmath.log(mpmath.gammainc(self.r, z, mpmath.inf, regularized=True))
        k = mpmath.exp(z - self.smu * w + lnq - self.psi_max)
        lw = mpmath.exp((self.r - 1) * mpmath.log(z) - self.smu * w + mpmath.log(gb)
                        - self.phi_max) if gb > 0 else mpf(0)
        val = (w, gb, g, m1, m2, k, lw)
        self.cache[w] = val
        return val


def bisect(left_of, lo, hi, rel):
    """The point in [lo, hi] where left_of turns from true to false, to a
    relative width rel (at most 200 halvings)."""
    for _ in range(200):
        mid = (lo + hi) / 2
        if left_of(mid):
            lo = mid
        else:
            hi = mid
        if hi - lo <= rel * hi:
            break
    return (lo + hi) / 2


def mode(f, df, w_scale):
    """Maximiser of a unimodal f on [0, inf) by bisection on the sign of df."""
    if df(mpf(0)) <= 0:
        return mpf(0)
    lo, hi = mpf(0), w_scale
    while df(hi) > 0:
        lo, hi = hi, hi * 2
    return bisect(lambda w: df(w) > 0, lo, hi, mpf("1e-12"))


def level_point(f, level, lo, hi):
    """w in [lo, hi] with f(w) = level, f monotone between f(lo) and f(hi)."""
    above = f(lo) > level
    return bisect(lambda w: (f(w) > level) == above, lo, hi, mpf("1e-9"))


def descents(f, wmax, fmax, step0):
    """Breakpoints where f falls by DELTA, 2 DELTA, ... on both sides of its
    mode wmax, down to fmax - CUT; returns (points, right end)."""
    pts = []
    # right side
    w = wmax
    step = step0
    k = 1
    while True:
        level = fmax - k * DELTA
        hi = w + step
        while f(hi) > level:
            step *= 2
            hi = w + step
        w_new = level_point(f, level, w, hi)
        step = max(w_new - w, step0 * mpf("1e-6"))
        w = w_new
        pts.append(w)
        if k * DELTA >= CUT:
            break
        k += 1
    right = w
    # left side
    if wmax > 0:
        f0 = f(mpf(0))
        k = 1
        hi = wmax
        while fmax - k * DELTA > f0 and k * DELTA <= CUT:
            level = fmax - k * DELTA
            lo = hi
            while lo > 0 and f(lo) > level:
                lo = lo / 2 if lo > wmax * mpf("1e-300") else mpf(0)
            w_new = level_point(f, level, lo, hi) if lo > 0 else mpf(0)
            if w_new > 0:
                pts.append(w_new)
            hi = w_new
            if w_new == 0:
                break
            k += 1
    return pts, right


class Integrator:
    def __init__(self, model, points):
        self.model, self.points = model, points
        self.worst_err = mpf(0)

    def parts(self, fn):
        """Per-interval integrals of fn(node tuple); re-integrated divided by
        the total when that is small (mpmath.quad's tolerance is absolute)."""
        def run(scale):
            out, errs = [], []
            g = (lambda w: fn(self.model.node(w)) / scale)
            for a, b in zip(self.points[:-1], self.points[1:]):
                v, e = mpmath.quad(g, [a, b], error=True, maxdegree=8)
                out.append(v * scale)
                errs.append(e * scale)
            return out, errs
        out, errs = run(mpf(1))
        total = mpmath.fsum(out)
        if total != 0 and abs(total) < mpf("1e-6"):
            out, errs = run(abs(total))
            total = mpmath.fsum(out)
        if total != 0:
            self.worst_err = max(self.worst_err, mpmath.fsum(errs) / abs(total))
        return out


def nan_if(cond, x):
    return NAN if cond else x


def tagged_chain(c):
    """Independent check for exponential patience (theta >= 0): the birth-death
    chain of the number present, and the tagged caller's absorbing chain over
    its queue position (from position j: rate s mu + (j-1) theta one step
    forward, theta its own abandonment; served from position 1 at s mu)."""
    s, r, lam, mu = c.s, c.r, c.lam, c.mu
    theta = mpf(0) if c.pat.none else c.pat.theta
    n = s + r
    pi = [mpf(1)]
    for i in range(1, n + 1):
        death = min(i, s) * mu + max(i - s, 0) * theta
        pi.append(pi[-1] * lam / death)
    tot = mpmath.fsum(pi)
    pi = [p / tot for p in pi]
    out = {}
    ploss = pi[n]
    out["P(Loss)"] = ploss
    adm = 1 - ploss
    q = [p / adm for p in pi[:n]]          # state seen by an admitted caller
    out["P(NoWait)"] = mpmath.fsum(q[:s])
    # throughputs
    busy = mpmath.fsum(min(i, s) * pi[i] for i in range(n + 1))
    waiting = mpmath.fsum(max(i - s, 0) * pi[i] for i in range(n + 1))
    thr_s = mu * busy / (lam * adm)
    thr_a = theta * waiting / (lam * adm)
    # sweep of the tagged caller from position r down to 1: mass entering
    # position j and its E[T 1], E[T^2 1] (T = time waited so far)
    smu = s * mu
    M = T1 = T2 = mpf(0)
    ps = s1 = s2 = pa = a1 = a2 = mpf(0)
    for j in range(r, 0, -1):
        M += q[s + j - 1]
        nu = smu + j * theta
        T2 = T2 + 2 * T1 / nu + 2 * M / nu ** 2
        T1 = T1 + M / nu
        fa = theta / nu
        pa += M * fa
        a1 += T1 * fa
        a2 += T2 * fa
        fw = 1 - fa
        M, T1, T2 = M * fw, T1 * fw, T2 * fw
    ps, s1, s2 = M, T1, T2
    out["P(S)"] = out["P(NoWait)"] + ps
    out["P(A)"] = pa
    out["throughput P(S)"] = thr_s
    out["throughput P(A)"] = thr_a
    out["E[W1_S]"], out["E[W^21_S]"] = s1, s2
    out["E[W|S]"] = s1 / out["P(S)"]
    out["E[W^2|S]"] = s2 / out["P(S)"]
    if pa > 0:
        out["E[W1_A]"], out["E[W^21_A]"] = a1, a2
        out["E[W|A]"], out["E[W^2|A]"] = a1 / pa, a2 / pa
    # J(t) by uniformisation of the tagged caller's chain
    Lam = smu + r * theta
    js = []
    for t in c.ts:
        x = Lam * t
        v = [mpf(0)] + [q[s + j - 1] for j in range(1, r + 1)]  # v[j], position j
        served = mpf(0)
        pmf = mpmath.exp(-x)
        acc = mpf(0)    # sum_n Poisson(n) served_n
        nstep = 0
        while True:
            acc += pmf * served
            # Poisson tail past n <= pmf_n x/(n + 1 - x) once n + 1 > x
            if nstep + 1 > x and pmf * x / (nstep + 1 - x) < mpf("1e-55"):
                break
            nstep += 1
            new = [mpf(0)] * (r + 1)
            for j in range(1, r + 1):
                vj = v[j]
                if vj == 0:
                    continue
                nu = smu + j * theta
                fwd = (smu + (j - 1) * theta) / Lam
                new[j] += vj * (1 - nu / Lam)
                if j == 1:
                    served += vj * fwd
                else:
                    new[j - 1] += vj * fwd
            v = new
            pmf = pmf * x / nstep
        # the rest of the Poisson tail, with served_n bounded by its limit
        js.append(acc)
    out["J"] = js
    return out


def fmt(x):
    if mpmath.isnan(x):
        return "nan"
    if mpmath.isinf(x):
        return "inf"
    if x == 0:
        return "0.0"
    return mpmath.nstr(x, 40, min_fixed=1, max_fixed=0, strip_zeros=False,
                       show_zero_exponent=True)


def rel(a, b):
    if a == b:
        return mpf(0)
    return abs(a - b) / max(abs(a), abs(b))


def solve(c):
    """Returns (measures dict, list of (t, J, C, SL), report dict)."""
    s, r, lam, mu, pat = c.s, c.r, c.lam, c.mu, c.pat
    rep = {"identity": mpf(0), "chain": None, "quad": mpf(0), "tail": mpf(0), "nodes": 0,
           "intervals": 0}
    m = {"RHO": lam / (s * mu) if s > 0 else mpmath.inf}
    curve = []
    if r == 0:
        # Erlang B; nobody waits
        es = e_s(s, lam / mu)
        ploss = 1 / (es + 1)
        m.update({"P(Loss)": ploss, "P(NoWait)": mpf(1), "P(S)": mpf(1), "P(A)": mpf(0),
                  "E[W1_S]": mpf(0), "E[W^21_S]": mpf(0), "E[W|S]": mpf(0), "E[W^2|S]": mpf(0),
                  "Var(W|S)": mpf(0), "E[W1_A]": mpf(0), "E[W^21_A]": mpf(0),
                  "E[W|A]": NAN, "E[W^2|A]": NAN, "Var(W|A)": NAN})
        # check: Erlang B from the Poisson sum
        a = lam / mu
        direct = mpmath.exp(s * mpmath.log(a) - a - mpmath.loggamma(s + 1)) / \
            mpmath.gammainc(s + 1, a, mpmath.inf, regularized=True)
        rep["identity"] = rel(direct, ploss)
        for t in c.ts:
            curve.append((t, mpf(0), mpf(1), 1 - ploss))
        return m, curve, rep
    if s == 0:
        # M/G/r/r in the patience: Erlang B with load lambda E[tau]
        if pat.none:
            raise ValueError("s = 0 needs abandonment")
        et, et2 = pat.moments()
        A = lam * et
        ploss = 1 / erlang_b_inverse(r, A)
        # check against the integral form Z = 1 + lambda int Gbar e^(lambda H) Q_r(lambda H),
        # L = lambda int Gbar (lambda H)^(r-1)/(r-1)!
        probs = ["1e-40", "1e-20", "1e-10", "1e-5", "0.01", "0.1", "0.3", "0.5", "0.7", "0.9"]
        pts = [mpf(0)] + [pat.quantile(p) for p in probs]
        pts += [pat.quantile(mpf(10) ** -e, upper=True) for e in range(2, 66, 3)]
        pts = sorted(set(pts))
        cache = {}

        def nodev(w):
            if w not in cache:
                gb, g, H, m1, m2 = pat.values(w)
                z = lam * H
                cache[w] = (gb * mpmath.exp(z) * mpmath.gammainc(r, z, mpmath.inf, regularized=True),
                            gb * mpmath.exp((r - 1) * mpmath.log(z) - mpmath.loggamma(r)) if z > 0 else 0)
            return cache[w]
        zi = mpmath.quad(lambda w: nodev(w)[0], pts)
        li = mpmath.quad(lambda w: nodev(w)[1], pts)
        # tail beyond the last point: integrands <= Gbar e^(lambda E tau) (..) with Gbar < 1e-65
        ploss_int = lam * li / (1 + lam * zi)
        rep["identity"] = rel(ploss_int, ploss)
        rep["nodes"] = len(cache)
        m.update({"P(Loss)": ploss, "P(NoWait)": mpf(0), "P(S)": mpf(0), "P(A)": mpf(1),
                  "E[W1_S]": mpf(0), "E[W^21_S]": mpf(0), "E[W|S]": NAN, "E[W^2|S]": NAN,
                  "Var(W|S)": NAN, "E[W1_A]": et, "E[W^21_A]": et2, "E[W|A]": et,
                  "E[W^2|A]": et2, "Var(W|A)": et2 - et ** 2 if pat.kind != "lognormal" else pat.p2})
        for t in c.ts:
            curve.append((t, mpf(0), NAN, mpf(0)))
        return m, curve, rep

    model = Model(c)
    smu = s * mu
    # ---- breakpoints (low precision) ----
    with mp.workdps(LOW_DPS):
        scale = 1 / smu
        wk = mode(model.psi, model.dpsi, scale)
        psi_max = model.psi(wk)
        kpts, kright = descents(model.psi, wk, psi_max, scale / 4)
        wl = mode(model.phi, model.dphi, scale)
        phi_max = model.phi(wl)
        lpts, lright = descents(model.phi, wl, phi_max, scale / 4)
        right = max(kright, lright)
        extra = [wk, wl]
        if not pat.none:
            for p in ["1e-30", "1e-20", "1e-12", "1e-8", "1e-5", "1e-3", "0.01", "0.05", "0.2",
                      "0.5", "0.8", "0.95", "0.99", "0.999"]:
                extra.append(pat.quantile(p))
            for e in (5, 8, 12, 20):
                extra.append(pat.quantile(mpf(10) ** -e, upper=True))
        # tail bounds: slopes at the right ends
        ck = min(-model.dpsi(kright), smu)
        psi_end = model.psi(kright)
        gb_end, _, h_end, _, _ = pat.values(lright)
        cl = smu - (r - 1) * gb_end / h_end
        phi_end = model.phi(lright)
    pts = [mpf(0)] + [mpf(p) for p in kpts + lpts + extra if 0 < p < right] + \
          [t for t in c.ts if t < right] + [mpf(right)]
    pts = sorted(set(pts))
    merged = [pts[0]]
    for p in pts[1:]:
        if p - merged[-1] > mpf("1e-12") * p or p in c.ts:
            merged.append(p)
    pts = merged
    model.psi_max = mpf(psi_max)
    model.phi_max = mpf(phi_max)
    integ = Integrator(model, pts)

    # ---- integrals (all scaled by exp(-psi_max); L by exp(-phi_max)) ----
    Jp = integ.parts(lambda n: n[5])
    Ap = integ.parts(lambda n: n[1] * n[5])                  # int Gbar K
    Bp = integ.parts(lambda n: n[2] * n[5])                  # int G K
    S1 = mpmath.fsum(integ.parts(lambda n: n[0] * n[1] * n[5]))
    S2 = mpmath.fsum(integ.parts(lambda n: n[0] ** 2 * n[1] * n[5]))
    A1 = mpmath.fsum(integ.parts(lambda n: n[3] * n[5]))
    A2 = mpmath.fsum(integ.parts(lambda n: n[4] * n[5]))
    Lt = mpmath.fsum(integ.parts(lambda n: n[6]))
    J, A0, B0 = mpmath.fsum(Jp), mpmath.fsum(Ap), mpmath.fsum(Bp)

    es = e_s(s, lam / mu)
    ek = mpmath.exp(model.psi_max)       # unbounded exponent: exact rescaling
    el = lam * mpmath.exp(model.phi_max - model.lgr)
    Jf, A0f, B0f = J * ek, A0 * ek, B0 * ek
    Lf = Lt * el
    D = es + smu * Jf
    Z = es + 1 + lam * A0f
    ploss = Lf / Z
    # identities
    res1 = rel(lam * A0f, smu * Jf - 1 + Lf)
    res2 = rel(A0 + B0, J)
    pnw = es / D
    ps = (es + smu * A0f) / D
    pa = smu * B0f / D
    res3 = abs(ps + pa - 1)
    rep["identity"] = max(res1, res2, res3)
    ew1s = smu * S1 * ek / D
    ew21s = smu * S2 * ek / D
    ews, ew2s = ew1s / ps, ew21s / ps
    ms = ews
    VS = mpmath.fsum(integ.parts(lambda n: (n[0] - ms) ** 2 * n[1] * n[5]))
    vars_ = (pnw * ms ** 2 + smu * VS * ek / D) / ps
    ew1a = smu * A1 * ek / D
    ew21a = smu * A2 * ek / D
    no_a = pa == 0
    if no_a:
        ewa = ew2a = vara = NAN
    else:
        ewa, ew2a = ew1a / pa, ew21a / pa
        ma = ewa
        VA = mpmath.fsum(integ.parts(lambda n: (n[4] - 2 * ma * n[3] + ma ** 2 * n[2]) * n[5]))
        vara = smu * VA * ek / D / pa
    m.update({"P(Loss)": ploss, "P(NoWait)": pnw, "P(S)": ps, "P(A)": pa,
              "E[W1_S]": ew1s, "E[W^21_S]": ew21s, "E[W|S]": ews, "E[W^2|S]": ew2s,
              "Var(W|S)": vars_, "E[W1_A]": ew1a, "E[W^21_A]": ew21a, "E[W|A]": ewa,
              "E[W^2|A]": ew2a, "Var(W|A)": vara})
    # curve
    for t in c.ts:
        part = mpf(0)
        for (a, b), v in zip(zip(pts[:-1], pts[1:]), Ap):
            if b <= t:
                part += v
        jt = smu * part * ek / D
        curve.append((t, jt, (pnw + jt) / ps, (1 - ploss) * (pnw + jt)))
    # tail bounds past the right ends, relative to the smallest integral
    et, et2 = pat.moments() if not pat.none else (mpf(1), mpf(1))
    weight = max(1, et, et2 + (0 if no_a else ewa ** 2), ms ** 2)
    wt = mpf(kright)
    # int_wT^inf (1 + w + w^2) e^(-c (w - wT)) dw
    tk = mpmath.exp(mpf(psi_end) - model.psi_max) * weight * (
        (wt ** 2 + wt + 1) / ck + (2 * wt + 1) / ck ** 2 + 2 / ck ** 3)
    smallest = min(abs(x) for x in (J, A0, B0, S1, S2, A1, A2) if x != 0)
    tail = tk / smallest
    if cl > 0:
        tail = max(tail, mpmath.exp(mpf(phi_end) - model.phi_max) / cl / Lt)
    else:
        tail = mpf("inf")
    rep["tail"] = tail
    rep["quad"] = integ.worst_err
    rep["nodes"] = model.evaluations
    rep["intervals"] = len(pts) - 1
    return m, curve, rep


def chain_check(c, m, curve):
    ch = tagged_chain(c)
    worst = mpf(0)
    names = ["P(Loss)", "P(NoWait)", "P(S)", "P(A)", "E[W1_S]", "E[W^21_S]", "E[W|S]", "E[W^2|S]",
             "E[W1_A]", "E[W^21_A]", "E[W|A]", "E[W^2|A]"]
    for k in names:
        if k not in ch:
            assert m[k] == 0 or mpmath.isnan(m[k]), (k, m[k])
            continue
        e = rel(ch[k], m[k])
        worst = max(worst, e)
        assert e < CHAIN_TOL, (c.name, k, ch[k], m[k])
    for k, kk in (("P(S)", "throughput P(S)"), ("P(A)", "throughput P(A)")):
        e = rel(ch[kk], m[k])
        worst = max(worst, e)
        assert e < CHAIN_TOL, (c.name, kk, ch[kk], m[k])
    for (t, jt, ct, sl), jc in zip(curve, ch["J"]):
        e = rel(jc, jt)
        worst = max(worst, e)
        assert e < CHAIN_TOL, (c.name, "J", t, jc, jt)
    return worst


def other_breakpoints(c):
    """The centre again with DELTA = 4 and CUT = 165: a quadrature check
    independent of mpmath's own error estimate."""
    global DELTA, CUT
    saved = DELTA, CUT
    DELTA, CUT = 4, 165
    try:
        return solve(c)
    finally:
        DELTA, CUT = saved


def compare(m, curve, m2, curve2):
    worst = mpf(0)
    for k in LABELS:
        if not (mpmath.isnan(m[k]) and mpmath.isnan(m2[k])):
            worst = max(worst, rel(m[k], m2[k]))
    for a, b in zip(curve, curve2):
        for x, y in zip(a[1:], b[1:]):
            if not (mpmath.isnan(x) and mpmath.isnan(y)):
                worst = max(worst, rel(x, y))
    return worst


def main(argv):
    args = argv[1:]
    recheck = "--recheck" in args
    args = [a for a in args if a != "--recheck"]
    only = set(args[1:]) if args[:1] == ["--only"] else None
    here = os.path.dirname(os.path.abspath(__file__))
    out_path = os.path.join(here, "..", "data", "exact_queue", "references.txt")
    lines = ["# generated by tests/tools/exact_queue_reference.py (mpmath, 50 digits); "
             "do not edit by hand",
             "# 13 input values: consoleReport abandonType p1 p2 p3 servers waitingPlaces "
             "serviceRate arrivalRate momentInterval inversionTerms maxTime inversionMethod",
             "# measures are shares of admitted callers except P(Loss) (of offered) and RHO; "
             "SL(t) = (1 - P(Loss)) (P(NoWait) + J(t))"]
    worst_id = worst_chain = worst_quad = worst_tail = worst_recheck = mpf(0)
    t_all = time.process_time()
    for name, values, moments, note in CENTRES:
        if only is not None and name not in only:
            continue
        c = Centre(name, values, moments, note)
        t0 = time.process_time()
        m, curve, rep = solve(c)
        dt = time.process_time() - t0
        assert rep["identity"] < IDENTITY_TOL, (name, rep["identity"])
        chain = None
        if c.pat.kind in ("exp", "none") and c.s > 0 and c.r > 0:
            chain = chain_check(c, m, curve)
            worst_chain = max(worst_chain, chain)
        assert rep["tail"] < mpf("1e-55"), (name, rep["tail"])
        if recheck:
            redo = other_breakpoints(c)
            rep["recheck"] = compare(m, curve, *redo[:2])
            worst_recheck = max(worst_recheck, rep["recheck"])
        worst_id = max(worst_id, rep["identity"])
        worst_quad = max(worst_quad, rep["quad"])
        worst_tail = max(worst_tail, rep["tail"])
        print("%-34s %7.1f s  nodes %6d  intervals %4d  identity %s  quad %s  tail %s  chain %s%s" % (
            name, dt, rep["nodes"], rep["intervals"], mpmath.nstr(rep["identity"], 3),
            mpmath.nstr(rep["quad"], 3), mpmath.nstr(rep["tail"], 3),
            "-" if chain is None else mpmath.nstr(chain, 3),
            "  recheck %s" % mpmath.nstr(rep["recheck"], 3) if recheck else ""),
            file=sys.stderr, flush=True)
        if note:
            lines.append("# %s: %s" % (name, note))
        lines.append("centre " + name)
        lines.append("input " + values)
        for k in LABELS:
            lines.append("measure %s %s" % (k, fmt(m[k])))
        for (t, jt, ct, sl), text in zip(curve, c.moment_texts):
            lines.append("t %s J %s C %s SL %s" % (text, fmt(jt), fmt(ct), fmt(sl)))
        lines.append("end")
    print("worst identity residual %s, worst chain disagreement %s, worst quad error estimate %s, "
          "worst tail bound %s, %stotal %.1f s" % (
              mpmath.nstr(worst_id, 3), mpmath.nstr(worst_chain, 3), mpmath.nstr(worst_quad, 3),
              mpmath.nstr(worst_tail, 3),
              "worst change with other breakpoints %s, " % mpmath.nstr(worst_recheck, 3)
              if recheck else "", time.process_time() - t_all), file=sys.stderr)
    text = "\n".join(lines) + "\n"
    if only is not None:
        sys.stdout.write(text)
    else:
        os.makedirs(os.path.dirname(out_path), exist_ok=True)
        with open(out_path, "w") as f:
            f.write(text)


if __name__ == "__main__":
    main(sys.argv)
