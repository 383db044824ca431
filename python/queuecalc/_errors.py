"""The exception and the warning categories of queuecalc."""


class InputError(ValueError):
    """A scenario, file or argument the programs would reject.

    The message is the programs' own: it names the value, why it has no
    meaning, and what to change.
    """


class InputWarning(UserWarning):
    """A value that is accepted and computed with, but likely a slip
    (no agents, a load that suggests mixed time units, ...)."""


class AccuracyWarning(UserWarning):
    """A computed value that cannot be trusted as it stands: not finite,
    outside what a probability can be, a curve that decreases, or an
    estimated error above the programs' tolerance. The message says what to
    change."""
