"""The one exception the reader raises for files it cannot take."""


class ReportError(ValueError):
    """A file or folder that is not a readable recording.

    ``path`` names the file (or folder) and ``problem`` says what is wrong with it; the
    message is ``"<path>: <problem>"``. The reader never writes, so nothing is changed
    when it is raised.
    """

    def __init__(self, path, problem):
        self.path = str(path)
        self.problem = problem
        super().__init__(f"{self.path}: {problem}")

    def __reduce__(self):
        return (type(self), (self.path, self.problem))
