"""Conversion tasks, their items and the tape catalogue of QZNVGeZhuanDBCtrlU,
for Python scripts.

The library's C interface (QZNVGeZhuanDB.h) through ctypes; nothing here is
compiled. Records are dicts with the field names of the C++ records, GUIDs
as GUID text (uuid.UUID values are accepted on input), date-times as
"YYYY-MM-DDTHH:MM:SS" or None. A call that fails raises Error, carrying the
library's reason, the kind of failure and the SQLSTATE where the database
gave one.

    import uuid, qznvgezhuandb
    with qznvgezhuandb.open("/data", "gezhuan.db") as db:
        db.create_tables()
        task = str(uuid.uuid4())
        db.add_tasks([{"guidTaskID": task, "strTaskName": "Betacam to XDCAM"}])
        for t in db.tasks("strTaskName like 'Betacam%'"):
            print(t["guidTaskID"], t["strTaskName"])
        db.delete_task(task)

The library is found, in this order: the library argument of open() and
open_setting(), $QZNVGEZHUANDB_LIBRARY, the library installed beside this
module, then the system's search path. A Database is used by one thread at
a time; different ones may be used from different threads at once.
"""

import ctypes
import ctypes.util
import datetime
import json
import os
import uuid

__all__ = ["Error", "NothingFound", "Database", "open", "open_setting", "settings", "setting", "save_setting",
           "show_settings_dialog", "new_guid", "SETTING_NAMES"]

# The kinds of failure the library tells apart.
OK, NOTHING_FOUND, REFUSED, DATABASE, OTHER, CANCELLED = range(6)

# The suite's six named settings, in their order.
SETTING_NAMES = ("CommonDataDBSetting", "NetManageDBSetting", "UserVerifyDBSetting", "AccountManageDBSetting",
                 "LogEventManageDBSetting", "QZNVCENTERDBSetting")

# Where the library stands from this module once installed; CMake fills it
# in when it installs the module.
_INSTALLED_LIBRARY = "@QZ_PYTHON_LIBRARY@"


class Error(Exception):
    """A call of the library answered 0.

    reason: the library's LastError text; kind: one of NOTHING_FOUND,
    REFUSED (before the database), DATABASE, OTHER, CANCELLED; sql_state:
    the database's SQLSTATE, or "".
    """

    def __init__(self, reason, kind=OTHER, sql_state=""):
        super().__init__(reason + (" (SQLSTATE %s)" % sql_state if sql_state else ""))
        self.reason = reason
        self.kind = kind
        self.sql_state = sql_state


class NothingFound(Error):
    """A rewrite or a lookup matched no row."""


_Text = ctypes.POINTER(ctypes.c_uint16)


class _Setting(ctypes.Structure):
    _fields_ = [("nDBType", ctypes.c_int), ("strConnect1", _Text), ("strConnect2", _Text), ("strConnect3", _Text),
                ("strConnect4", _Text), ("strSettingName", _Text), ("strCaption", _Text)]


_SETTING_TEXTS = ("strConnect1", "strConnect2", "strConnect3", "strConnect4", "strSettingName", "strCaption")


def _library_path(library):
    if library:
        return library
    if os.environ.get("QZNVGEZHUANDB_LIBRARY"):
        return os.environ["QZNVGEZHUANDB_LIBRARY"]
    if not _INSTALLED_LIBRARY.startswith("@"):
        beside = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), _INSTALLED_LIBRARY))
        if os.path.exists(beside):
            return beside
    found = ctypes.util.find_library("QZNVGeZhuanDBCtrlU")
    if found:
        return found
    raise Error("the library QZNVGeZhuanDBCtrlU was not found: pass library= or set QZNVGEZHUANDB_LIBRARY",
                OTHER)


_loaded = {}


def _load(library=None):
    """The C interface of the library at library's path, loaded once."""
    path = _library_path(library)
    lib = _loaded.get(path)
    if lib is not None:
        return lib
    lib = ctypes.CDLL(path)
    handle, text, out = ctypes.c_void_p, _Text, ctypes.POINTER(_Text)
    signatures = {
        "Create": (handle, []),
        "Destroy": (None, [handle]),
        "LastError": (text, [handle]),
        "LastErrorState": (ctypes.c_int, [handle, ctypes.c_char_p, ctypes.c_size_t]),
        "FreeText": (None, [text]),
        "NewGuid": (None, [text]),
        "Open": (ctypes.c_int, [handle, ctypes.c_int, text, text, text, text]),
        "Close": (ctypes.c_int, [handle]),
        "CreateTables": (ctypes.c_int, [handle]),
        "AddSampleCatalogue": (ctypes.c_int, [handle]),
        "AddTasks": (ctypes.c_int, [handle, text]),
        "GetTasks": (ctypes.c_int, [handle, text, out]),
        "ModifyTask": (ctypes.c_int, [handle, text, ctypes.c_int]),
        "DeleteTask": (ctypes.c_int, [handle, text]),
        "AddItems": (ctypes.c_int, [handle, text]),
        "GetItems": (ctypes.c_int, [handle, text, out]),
        "DeleteItems": (ctypes.c_int, [handle, text, text]),
        "GetTapeGroups": (ctypes.c_int, [handle, text, out]),
        "GetTapes": (ctypes.c_int, [handle, text, out]),
        "GetDefaultTape": (ctypes.c_int, [handle, out]),
        "GetSettings": (ctypes.c_int, [handle, ctypes.POINTER(_Setting)]),
        "GetSetting": (ctypes.c_int, [handle, text, ctypes.POINTER(_Setting)]),
        "SetSetting": (ctypes.c_int, [handle, ctypes.POINTER(_Setting)]),
        "OpenBySetting": (ctypes.c_int, [handle, text]),
        "ShowSettingsDialog": (ctypes.c_int, [handle, ctypes.POINTER(_Setting)]),
        "FreeSettings": (None, [ctypes.POINTER(_Setting), ctypes.c_size_t]),
    }
    for name, (restype, argtypes) in signatures.items():
        function = getattr(lib, "QZNVGeZhuanDB_" + name)
        function.restype = restype
        function.argtypes = argtypes
    _loaded[path] = lib
    return lib


def _to_c(text):
    """A NUL-terminated UTF-16 buffer holding text (None stays NULL). Text
    that UTF-16 cannot carry (a lone surrogate) reaches the library as it
    is, which refuses it."""
    if text is None:
        return None
    data = text.encode("utf-16-le", "surrogatepass")
    units = (ctypes.c_uint16 * (len(data) // 2 + 1)).from_buffer_copy(data + b"\0\0")
    return ctypes.cast(units, _Text)


_PAGE = 4096


def _from_c(pointer):
    """The UTF-16 text at pointer, up to its NUL. Reads up to a page end at a
    time, never past the page that holds the NUL, so it stays in mapped
    memory. The library's text starts at an even address, as UTF-16 must."""
    if not pointer:
        return ""
    address = ctypes.cast(pointer, ctypes.c_void_p).value
    data = bytearray()
    while True:
        end = (address // _PAGE + 1) * _PAGE
        chunk = ctypes.string_at(address, end - address)
        at = chunk.find(b"\0\0")
        while at != -1 and at % 2:
            at = chunk.find(b"\0\0", at + 1)
        if at != -1:
            data += chunk[:at]
            return bytes(data).decode("utf-16-le", "surrogatepass")
        data += chunk
        address = end


def _json_value(value):
    if isinstance(value, uuid.UUID):
        return str(value).upper()
    if isinstance(value, datetime.datetime):
        return value.replace(microsecond=0, tzinfo=None).isoformat()
    if isinstance(value, datetime.date):
        return value.isoformat()
    raise TypeError("%r cannot be a field of a record" % (value,))


def _dumps(value):
    return json.dumps(value, ensure_ascii=False, default=_json_value)


def _guid_text(guid):
    return str(guid).upper() if isinstance(guid, uuid.UUID) else guid


def _setting_to_dict(setting):
    record = {"nDBType": setting.nDBType}
    for name in _SETTING_TEXTS:
        record[name] = _from_c(getattr(setting, name))
    return record


class Database:
    """A handle of the library: one connection at a time, and the reason of
    its last failure. Also a context manager that closes it."""

    def __init__(self, library=None):
        self._lib = _load(library)
        self._db = self._lib.QZNVGeZhuanDB_Create()
        if not self._db:
            raise MemoryError("QZNVGeZhuanDB_Create")

    # --- the frame of every call -------------------------------------------

    def _error(self):
        state = ctypes.create_string_buffer(6)
        kind = self._lib.QZNVGeZhuanDB_LastErrorState(self._db, state, len(state))
        reason = _from_c(self._lib.QZNVGeZhuanDB_LastError(self._db))
        cls = NothingFound if kind == NOTHING_FOUND else Error
        return cls(reason, kind, state.value.decode("ascii"))

    def _call(self, name, *arguments):
        if not self._db:
            raise Error("the database is closed", REFUSED)
        if not getattr(self._lib, "QZNVGeZhuanDB_" + name)(self._db, *arguments):
            raise self._error()

    def _query(self, name, *arguments):
        """The JSON a query hands back; None when it found nothing."""
        out = _Text()
        try:
            self._call(name, *arguments, ctypes.byref(out))
        except NothingFound:
            return None
        try:
            return json.loads(_from_c(out))
        finally:
            self._lib.QZNVGeZhuanDB_FreeText(out)

    # --- connection ---------------------------------------------------------

    def open(self, folder, file, kind=0, connect3=None, connect4=None):
        """Opens the database: kind 0 is the embedded database file (folder
        and file name, or ":memory:"); for the servers (2 PostgreSQL, 4 ODBC)
        folder and file are the first two connection texts."""
        self._call("Open", kind, _to_c(folder), _to_c(file), _to_c(connect3), _to_c(connect4))
        return self

    def open_setting(self, name):
        """Opens the database that the named setting describes."""
        self._call("OpenBySetting", _to_c(name))
        return self

    def close(self):
        """Closes the connection and frees the handle; a second call does nothing."""
        if self._db:
            self._lib.QZNVGeZhuanDB_Destroy(self._db)
            self._db = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        if getattr(self, "_db", None):
            self.close()

    def create_tables(self):
        self._call("CreateTables")

    def add_sample_catalogue(self):
        self._call("AddSampleCatalogue")

    # --- tasks and items ----------------------------------------------------

    def add_tasks(self, tasks):
        """Adds the tasks (dicts, each with its "arrItems") in one transaction."""
        self._call("AddTasks", _to_c(_dumps(list(tasks))))

    def add_task(self, task):
        self.add_tasks([task])

    def tasks(self, condition=""):
        """The tasks matching condition (SQL after "where"; "" for all), each
        with its items; [] when none matches."""
        return self._query("GetTasks", _to_c(condition)) or []

    def modify_task(self, task, with_items=False):
        """Rewrites the task its guidTaskID names; with_items also replaces
        its items by arrItems. NothingFound when no task has that GUID."""
        self._call("ModifyTask", _to_c(_dumps(task)), 1 if with_items else 0)

    def delete_task(self, guid):
        """Deletes the task and its items."""
        self._call("DeleteTask", _to_c(_guid_text(guid)))

    def add_items(self, items):
        self._call("AddItems", _to_c(_dumps(list(items))))

    def items(self, condition=""):
        return self._query("GetItems", _to_c(condition)) or []

    def delete_items(self, task=None, item=None):
        """Deletes by task, by item, or one item of one task."""
        self._call("DeleteItems", _to_c(_guid_text(task)), _to_c(_guid_text(item)))

    # --- the tape catalogue -------------------------------------------------

    def tape_groups(self, condition=""):
        return self._query("GetTapeGroups", _to_c(condition)) or []

    def tapes(self, condition=""):
        return self._query("GetTapes", _to_c(condition)) or []

    def default_tape(self):
        """The default tape type, or None when there is none."""
        return self._query("GetDefaultTape")

    # --- the suite's named settings -----------------------------------------

    def settings(self):
        """The six named settings, in their order, as dicts."""
        array = (_Setting * len(SETTING_NAMES))()
        self._call("GetSettings", array)
        try:
            return [_setting_to_dict(s) for s in array]
        finally:
            self._lib.QZNVGeZhuanDB_FreeSettings(array, len(array))

    def setting(self, name):
        one = _Setting()
        self._call("GetSetting", _to_c(name), ctypes.byref(one))
        try:
            return _setting_to_dict(one)
        finally:
            self._lib.QZNVGeZhuanDB_FreeSettings(ctypes.byref(one), 1)

    def save_setting(self, setting):
        """Saves nDBType and strConnect1..4 under setting["strSettingName"]."""
        buffers = {name: _to_c(setting.get(name)) for name in _SETTING_TEXTS}
        one = _Setting(int(setting.get("nDBType", 0)), *(buffers[name] for name in _SETTING_TEXTS))
        self._call("SetSetting", ctypes.byref(one))

    def show_settings_dialog(self):
        """Shows the settings dialog (Windows only) and returns the six
        settings as it left them; Error with kind CANCELLED when cancelled,
        REFUSED in a build without a dialog."""
        array = (_Setting * len(SETTING_NAMES))()
        try:
            self._call("ShowSettingsDialog", array)
            return [_setting_to_dict(s) for s in array]
        finally:
            self._lib.QZNVGeZhuanDB_FreeSettings(array, len(array))


def open(folder, file, kind=0, connect3=None, connect4=None, library=None):
    """A Database opened on folder and file (see Database.open)."""
    db = Database(library)
    try:
        return db.open(folder, file, kind, connect3, connect4)
    except BaseException:
        db.close()
        raise


def open_setting(name, library=None):
    """A Database opened on the named setting's database."""
    db = Database(library)
    try:
        return db.open_setting(name)
    except BaseException:
        db.close()
        raise


def _with_handle(method, *arguments, library=None):
    with Database(library) as db:
        return getattr(db, method)(*arguments)


def settings(library=None):
    return _with_handle("settings", library=library)


def setting(name, library=None):
    return _with_handle("setting", name, library=library)


def save_setting(record, library=None):
    return _with_handle("save_setting", record, library=library)


def show_settings_dialog(library=None):
    return _with_handle("show_settings_dialog", library=library)


def new_guid():
    """A new random GUID as GUID text, as the library writes it."""
    return str(uuid.uuid4()).upper()
