import os
from dataclasses import dataclass
from typing import Any, BinaryIO, Callable, List, Literal, Optional, TextIO, Tuple, Union

Source = Union[str, os.PathLike[str], bytes, bytearray, memoryview, BinaryIO]
Progress = Callable[[str, int, int], Any]

HAVE_PDF: bool
VERSION: str
__version__: str

class Error(Exception): ...
class Cancelled(Error): ...

class Settings:
    exclude_pages: str
    max_length: int
    flags: int
    page_offset: int
    keep_sentences: bool
    keep_commas: bool
    keep_parenthesised: bool
    detect_title: bool
    toc_document: bool
    indent_refinement: bool
    def __init__(
        self,
        *,
        exclude_pages: str = "",
        max_length: int = 80,
        flags: int = 522,
        page_offset: int = 0,
        keep_sentences: Optional[bool] = None,
        keep_commas: Optional[bool] = None,
        keep_parenthesised: Optional[bool] = None,
        detect_title: Optional[bool] = None,
        toc_document: Optional[bool] = None,
        indent_refinement: Optional[bool] = None,
    ) -> None: ...
    def __eq__(self, other: object) -> bool: ...
    def __copy__(self) -> Settings: ...
    def __deepcopy__(self, memo: dict) -> Settings: ...

@dataclass(frozen=True)
class OutlineItem:
    page: int
    point: int
    level: int
    text: str
    cx: int
    cy: int
    def to_dict(self) -> dict: ...

Mode = Literal["auto", "exact", "quality"]

@dataclass(frozen=True)
class QualityVerdict:
    accepted: bool
    level: int
    reason: Optional[int]
    reason_text: str
    text: str

@dataclass(frozen=True)
class Verdict:
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
    quality: Optional[QualityVerdict] = ...


class RecordWriter:
    def __init__(self, target: Optional[BinaryIO] = None) -> None: ...
    def section(
        self, width: int, height: int, *, section_flags: int = 0, section_options: int = 0
    ) -> None: ...
    def table_row_format(self, table_cells: int) -> None: ...
    def paragraph_format(
        self,
        char_size: int = 0,
        *,
        flag: int = 0,
        owflag: int = 0,
        char_count: int = 0,
        fi: int = 0,
        li: int = 0,
        ri: int = 0,
        sb: int = 0,
        sa: int = 0,
    ) -> None: ...
    def character_format(
        self,
        char_size: int = 0,
        *,
        bold: bool = False,
        flag: int = 0,
        font_no: int = 0,
        word28: int = 0,
        word30: int = 0,
        value56: int = 0,
        value100: int = 0,
    ) -> None: ...
    def text(self, text: str) -> None: ...
    def paragraph_break(self) -> None: ...
    def cell_end(self) -> None: ...
    def table_row_end(self) -> None: ...
    def line_break(self) -> None: ...
    def page_break(self) -> None: ...
    def tab(self) -> None: ...
    def paragraph_position(self, cx: int, cy: int) -> None: ...
    def raw(self, record_type: int, body: bytes = b"", *, record_length: Optional[int] = None) -> None: ...
    def getvalue(self) -> bytes: ...
    @property
    def bytes_written(self) -> int: ...

def outline(
    source: Source,
    settings: Optional[Settings] = None,
    *,
    log: Union[BinaryIO, TextIO, None] = None,
    progress: Optional[Progress] = None,
    mode: Mode = "auto",
) -> List[OutlineItem]: ...
def outline_with_pages(
    source: Source, settings: Optional[Settings] = None, *, mode: Mode = "auto"
) -> Tuple[List[OutlineItem], int]: ...
def explain(
    source: Source,
    settings: Optional[Settings] = None,
    *,
    log: Union[BinaryIO, TextIO, None] = None,
    progress: Optional[Progress] = None,
    mode: Mode = "auto",
) -> List[Verdict]: ...
def parse_page_ranges(text: str) -> List[Tuple[int, int]]: ...
def describe_reason(code: int) -> str: ...
