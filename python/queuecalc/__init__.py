"""queuecalc: the call-centre queue calculator as a Python module.

A call centre is the M/GI/s/r + GI queue: s agents, r waiting places,
Poisson arrivals, exponential talk times, and callers who hang up when their
wait exceeds a random patience (exponential, Erlang or lognormal). Every
number is the programs', to the bit: by default the exact model of the queue
(for any patience), as the sweep and the day plan compute it; with
``model="chain"`` the calculator's birth-and-death approximation, exact for
exponential patience only.

    >>> import queuecalc as qc
    >>> centre = qc.CallCentre(servers=10, arrival_rate=9.5, service_rate=1,
    ...                        waiting_places=20, patience=qc.Exponential(0.5))
    >>> centre.measures()["P(A)"]

Errors raise InputError (a ValueError) with the programs' message; findings
are warnings of category InputWarning or AccuracyWarning.
"""

from ._errors import AccuracyWarning, InputError, InputWarning
from ._patience import Erlang, Exponential, Lognormal
from ._centre import DEFAULT_METHOD, DEFAULT_MODEL, CallCentre, WaitingTimeCdf
from ._analysis import staff, sweep
from ._folder import FolderResult, run_folder
from ._plan import plan
from ._schedule import Schedule, schedule
from ._queuecalc import format_number

__all__ = [
    "AccuracyWarning",
    "CallCentre",
    "DEFAULT_METHOD",
    "DEFAULT_MODEL",
    "FolderResult",
    "Erlang",
    "Exponential",
    "InputError",
    "InputWarning",
    "Lognormal",
    "WaitingTimeCdf",
    "format_number",
    "plan",
    "schedule",
    "Schedule",
    "run_folder",
    "staff",
    "sweep",
]
