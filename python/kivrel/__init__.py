"""Outline extraction for laid-out documents.

>>> import kivrel
>>> for item in kivrel.outline("report.kvr"):
...     print(item.level, item.page, item.text)

A source is a path (a record stream, or a PDF when the PDF front end was
built), ``bytes`` or a binary file object. The extraction runs without the
GIL, so threads can process documents in parallel.
"""

from __future__ import annotations

import dataclasses
import io
import os
from typing import Any, BinaryIO, Callable, List, Optional, TextIO, Tuple, Union

from ._kivrel import (
    HAVE_PDF,
    VERSION,
    Cancelled,
    Error,
    RecordWriter,
    Settings,
    describe_reason,
    parse_page_ranges,
)
from . import _kivrel

__all__ = [
    "Cancelled",
    "Error",
    "HAVE_PDF",
    "OutlineItem",
    "QualityVerdict",
    "RecordWriter",
    "Settings",
    "Verdict",
    "VERSION",
    "describe_reason",
    "explain",
    "outline",
    "outline_with_pages",
    "parse_page_ranges",
]

__version__ = VERSION

Source = Union[str, "os.PathLike[str]", bytes, bytearray, memoryview, BinaryIO]
Progress = Callable[[str, int, int], Any]


@dataclasses.dataclass(frozen=True)
class OutlineItem:
    """One heading. ``point`` ranks it (higher is more important); ``level``
    is the rank of its point among the distinct points of the outline, the
    highest point being level 1."""

    page: int
    point: int
    level: int
    text: str
    cx: int
    cy: int

    def to_dict(self) -> dict:
        return dataclasses.asdict(self)


@dataclasses.dataclass(frozen=True)
class QualityVerdict:
    """The quality mode's decision on a paragraph: ``accepted`` with its
    ``level`` (1 is the top) and ``text`` (a section number joined with its
    title) when kept; ``reason`` and ``reason_text`` where the decision differs
    from the exact one (a drop or a promotion)."""

    accepted: bool
    level: int
    reason: Optional[int]
    reason_text: str
    text: str


@dataclasses.dataclass(frozen=True)
class Verdict:
    """What the extractor decided about one non-empty paragraph: ``point`` when
    it became a heading, else ``reason`` (a negative reason code, or a point
    from 0 to 9 that ranks below plain text) and its words."""

    page: int
    index: int
    cx: int
    cy: int
    char_size: int
    style_flags: int
    table_cells: int
    accepted: bool
    point: Optional[int]
    reason: Optional[int]
    reason_text: str
    text: str
    quality: Optional[QualityVerdict] = None


Mode = str  # "auto", "exact" or "quality"


def _read_source(source: Source) -> Tuple[Optional[bytes], Optional[str], Any]:
    """(data, path, file object), one of them given; the extension reads a
    path's file and a file object as the run goes."""
    if isinstance(source, bytes):
        return source, None, None
    if isinstance(source, (bytearray, memoryview)):
        return bytes(source), None, None
    if isinstance(source, (str, os.PathLike)):
        path = os.fspath(source)
        if not isinstance(path, str):
            path = os.fsdecode(path)
        if "\0" in path:
            raise ValueError("embedded null byte")  # as open() says
        return None, path, None
    if hasattr(source, "read"):
        return None, None, source
    raise TypeError(
        "source must be a path, bytes or a binary file object, not "
        + type(source).__name__
    )


def _check_settings(settings: Optional[Settings]) -> Settings:
    # None means the library's default options (flags 522), as the command
    # line uses them; the extractor's own null-settings default differs.
    if settings is None:
        return Settings()
    if not isinstance(settings, Settings):
        raise TypeError("settings must be a kivrel.Settings, not " + type(settings).__name__)
    return settings


def _check_callable(name: str, value: Any) -> None:
    if value is not None and not callable(value):
        raise TypeError(name + " must be callable")


def _run(source, settings, log, progress, *, verdicts=False, pages=False, mode="auto") -> dict:
    settings = _check_settings(settings)
    _check_callable("progress", progress)
    if log is not None and not hasattr(log, "write"):
        raise TypeError("log must be a writable file object")
    if not isinstance(mode, str):
        raise TypeError("mode must be 'auto', 'exact' or 'quality', not " + type(mode).__name__)
    data, path, file = _read_source(source)
    result = _kivrel.run(
        data,
        settings,
        progress,
        log=log,
        # The library writes its log as Shift-JIS; text streams get it decoded.
        log_text=isinstance(log, io.TextIOBase),
        want_verdicts=verdicts,
        want_pages=pages,
        mode=mode,
        path=None if path is None else os.fsencode(path),
        file=file,
    )
    return result


def _items(raw: List[Tuple[int, int, str, int, int, int]]) -> List[OutlineItem]:
    # The quality mode gives each item its level; the exact mode ranks points.
    ranks = {p: i + 1 for i, p in enumerate(sorted({r[1] for r in raw}, reverse=True))}
    return [
        OutlineItem(page=page, point=point, level=level or ranks[point], text=text, cx=cx, cy=cy)
        for page, point, text, cx, cy, level in raw
    ]


def outline(
    source: Source,
    settings: Optional[Settings] = None,
    *,
    log: Union[BinaryIO, TextIO, None] = None,
    progress: Optional[Progress] = None,
    mode: Mode = "auto",
) -> List[OutlineItem]:
    """The outline of a document, in document order.

    ``mode`` ``"exact"`` runs the exact heuristics, ``"quality"`` refines
    them with layout signals (items the exact rules rejected then have point
    0, and ``level`` is the quality mode's own), ``"auto"`` picks the quality
    mode for PDF input and the exact one for record streams, as the kivrel
    command does. ``settings`` is not changed. ``log`` receives the diagnostic log as the run
    writes it (bytes for a binary file, decoded text for a text file); a run
    that raises has written it as far as it got, and an exception from its
    ``write`` is raised. ``progress(stage, done,
    total)`` is called at the extractor's polls (stage ``"outline"``, done
    1..3 of 3) and after each converted PDF page (stage ``"pdf"``); returning
    ``False`` stops the run and raises :class:`Cancelled`. A record stream
    given by its path or as a file object (anything with ``read(size)``) is
    read as the run goes.

    Raises TypeError or ValueError for bad arguments, OSError (such as
    FileNotFoundError) when a path cannot be read, :class:`Error` for an
    unreadable PDF or a failed run.
    """
    return _items(_run(source, settings, log, progress, mode=mode)["items"])


def outline_with_pages(
    source: Source, settings: Optional[Settings] = None, *, mode: Mode = "auto"
) -> Tuple[List[OutlineItem], int]:
    """The outline and the number of pages of the document."""
    result = _run(source, settings, None, None, pages=True, mode=mode)
    return _items(result["items"]), result["pages"]


def explain(
    source: Source,
    settings: Optional[Settings] = None,
    *,
    log: Union[BinaryIO, TextIO, None] = None,
    progress: Optional[Progress] = None,
    mode: Mode = "auto",
) -> List[Verdict]:
    """The extractor's verdict on every non-empty paragraph, in reading order;
    in the quality mode each has ``quality`` as well. Arguments and errors as
    for :func:`outline`."""
    raw = _run(source, settings, log, progress, verdicts=True, mode=mode)["verdicts"]
    out = []
    for v in raw:
        accepted = v.pop("accepted")
        value = v.pop("value")
        quality = v.pop("quality", None)
        out.append(
            Verdict(
                accepted=accepted,
                point=value if accepted else None,
                reason=None if accepted else value,
                quality=QualityVerdict(**quality) if quality is not None else None,
                **v,
            )
        )
    return out

