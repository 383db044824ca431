#!/usr/bin/python3
"""High-precision references for the exact waiting-time method.

For each scenario below: builds the model's double data with waiting_model_dump
(the same doubles the library holds), then computes
    J(t) = P(0 < W <= t, S) = sum_k w_k F_k(t)
at 40 significant digits with mpmath, from the definitions:
  row k: k exponential steps with rates s mu + (C_k - C_{j-1}), j = 1..k;
  small rows (r <= 40, Lambda t < 3000): each row's own Markov chain uniformized at its largest
      rate, propagated state by state (no symmetric polynomials);
  larger rows: P(N_k = k + m) = pi_k h_m(C_1..C_{k-1}) / Lambda_k^(k+m) with the
      polynomials unscaled, cross-checked against the row chains on the small
      scenarios before use;
  F_k(t) = sum_n Poisson(n; Lambda_k t) P(N_k <= n), summed from n = k until the
      Poisson tail is below 1e-40 (no windows, no rows left out).
Writes tests/data/exact/references.txt. Run from the repository root:
    /usr/bin/python3 tests/tools/exact_reference.py BUILD_DIR/tests/waiting_model_dump
Takes a few minutes (pure-Python mpmath).
"""
import os
import subprocess
import sys
import tempfile

import mpmath
from mpmath import mpf

mpmath.mp.dps = 40

# name: (13 input values, moments)
SCENARIOS = [
    ("typical", "1 0 0.5 -1 -1 10 20 1.0 9.5 0.1 32 5 0", [0.1, 0.5, 1, 2, 5]),
    ("erlang3", "1 1 0.5 3 -1 10 20 1.0 9.5 0.1 32 5 0", [0.1, 0.7, 2, 5]),
    ("lognormal-small", "1 2 2.0 1.0 -1 10 30 1.0 9.5 0.1 16 5 0", [0.1, 0.6, 1.5, 5]),
    ("no-waiting-places", "1 0 0.5 -1 -1 10 0 1.0 9.5 0.1 32 5 0", [0.5]),
    ("one-waiting-place", "1 0 0.5 -1 -1 3 1 1.0 2.5 0.1 32 5 0", [1e-9, 0.3, 4]),
    ("zero-hazard", "1 0 0 -1 -1 5 40 1.0 4.8 0.1 32 5 0", [0.05, 1, 6, 30]),
    ("tiny-and-long-times", "1 0 1.0 -1 -1 1 30 0.01 0.02 0.1 32 5 0", [1e-9, 1e-3, 50, 2000]),
    ("overloaded-small", "1 0 0.2 -1 -1 4 30 1.0 6 0.1 32 5 0", [0.2, 2, 8]),
    ("large", "1 0 0.5 -1 -1 500 1000 1.0 495 0.001 32 0.1 0", [0.001, 0.02, 0.1]),
    ("lognormal", "1 2 1 1 -1 500 1000 1.0 500 0.005 32 0.5 0", [0.005, 0.1, 0.5]),
    ("overloaded", "1 0 0.2 -1 -1 400 1500 1.0 480 0.02 32 2 0", [0.5, 1.2]),
]


def dump(tool, values):
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "INPUT.DAT")
        with open(path, "w") as f:
            f.write(values + "\n")
        out = subprocess.run([tool, path], check=True, capture_output=True, text=True).stdout.split()
    s, mu, r = int(out[0]), float.fromhex(out[1]), int(out[2])
    C = [float.fromhex(v) for v in out[3:3 + r + 1]]
    w = [None] + [float.fromhex(v) for v in out[4 + r:4 + 2 * r]]
    return s, mu, r, C, w, out[3 + r], out[5 + 2 * r]


def poisson_sum(x, start, values):
    """sum_{n >= start} Poisson(n; x) values(n), values(n) in [0, 1] and
    constant beyond the list; the tail beyond is summed in closed form."""
    if x == 0:
        return mpf(0)
    pmf = mpmath.exp(-x + start * mpmath.log(x) - mpmath.loggamma(start + 1))
    total = mpf(0)
    n = start
    last = values[-1] if values else mpf(0)
    while n - start < len(values):
        total += pmf * values[n - start]
        n += 1
        pmf = pmf * x / n
    # beyond the list: values constant = last; P(X >= n) by the regularised gamma
    if last != 0:
        total += last * mpmath.gammainc(n, 0, x, regularized=True)
    return total


def row_chain_law(rates, lam, nmax):
    """P(N <= n), n = k .. nmax, for the chain of the row uniformized at lam."""
    k = len(rates)
    state = [mpf(0)] * (k + 1)
    state[0] = mpf(1)
    out = []
    for n in range(1, nmax + 1):
        new = [mpf(0)] * (k + 1)
        for j in range(k):
            p = rates[j] / lam
            new[j] += state[j] * (1 - p)
            new[j + 1] += state[j] * p
        new[k] += state[k]
        state = new
        if n >= k:
            out.append(state[k])
    return out


def nested_laws(sigma, C, r, nmax_of_row):
    """P(N_k <= n), n = k .. nmax_of_row(k), for every row, from the unscaled
    complete homogeneous symmetric polynomials."""
    laws = [None]
    h = [mpf(1)]  # h_m of the empty set
    for k in range(1, r + 1):
        if k > 1:
            c = C[k - 1]
            length = max(len(h), nmax_of_row(k) - k + 1)
            h = h + [mpf(0)] * (length - len(h))
            for m in range(1, length):
                h[m] = h[m] + c * h[m - 1]
        lam = sigma + C[k]
        pi = mpf(1)
        for j in range(1, k + 1):
            pi *= (sigma + (C[k] - C[j - 1])) / lam
        cum = mpf(0)
        law = []
        scale = pi
        for m in range(0, nmax_of_row(k) - k + 1):
            if m < len(h):
                cum += scale * h[m]
            scale /= lam
            law.append(cum)
        laws.append(law)
    return laws


def reference(sigma, C, r, w, moments, method):
    tmax = max(moments)
    def nmax(k):
        x = (sigma + C[k]) * tmax
        return int(x + 20 * mpmath.sqrt(x) + 60) if x > 0 else k
    if method == "chain":
        laws = [None] + [row_chain_law([sigma + (C[k] - C[j - 1]) for j in range(1, k + 1)], sigma + C[k], max(nmax(k), k))
                         for k in range(1, r + 1)]
    else:
        laws = nested_laws(sigma, C, r, lambda k: max(nmax(k), k))
    result = []
    for t in moments:
        total = mpf(0)
        for k in range(1, r + 1):
            if w[k] == 0:
                continue
            total += w[k] * poisson_sum((sigma + C[k]) * t, k, laws[k])
        result.append(total)
    return result


def main():
    tool = sys.argv[1]
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    lines = ["# P(0 < W <= t, S) at 40 digits on the model's double data; generated by",
             "# tests/tools/exact_reference.py (mpmath). Do not edit by hand.",
             "# scenario NAME / input (the 13 values) / data (C_r, w_r, P(S) as hex floats) / t VALUE J VALUE / end"]
    for name, values, moments in SCENARIOS:
        s, mu, r, C, w, c_hex, served_hex = dump(tool, values)
        sigma = mpf(s) * mpf(mu)
        Cm = [mpf(c) for c in C]
        wm = [None] + [mpf(x) for x in w[1:]]
        Mm = [mpf(t) for t in moments]
        top = (sigma + Cm[r]) * max(Mm)
        small = r <= 40 and top < 3000
        method = "chain" if small else "nested"
        ref = reference(sigma, Cm, r, wm, Mm, method)
        if small and r > 0:
            other = reference(sigma, Cm, r, wm, Mm, "nested")
            worst = max(abs(a - b) for a, b in zip(ref, other))
            assert worst < mpf(10) ** -30, (name, worst)
        print(name, "r =", r, [mpmath.nstr(v, 20) for v in ref], file=sys.stderr)
        lines.append("scenario " + name)
        lines.append("input " + values)
        w_hex = float(w[r]).hex() if r > 0 else "none"
        lines.append("data %s %s %s" % (c_hex, w_hex, served_hex))
        for t, v in zip(moments, ref):
            lines.append("t %r J %s" % (t, mpmath.nstr(v, 35, min_fixed=1, max_fixed=0)))
        lines.append("end")
    path = os.path.join(root, "tests", "data", "exact", "references.txt")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
