"""What the pyodbc tests share: the data sources to run on and a connection
to each of them in turn. CTest runs each test file as a script, so this
module sits on the import path beside them.

CTest gives a test file its PostgreSQL (and H2 and Derby) twins by the names
it finds in the file's own text, so a file that takes its data sources from
here still names QMR_DSNS itself."""
import os

import pyodbc


def dsns():
    """The data sources CTest names in QMR_DSNS; HSQLDB's two by default."""
    return [d for d in os.environ.get("QMR_DSNS", "QmrHsqlU,QmrHsqlA").split(",") if d]


def each_connection(test, dsns, **connect_args):
    """(dsn, connection) for each data source, each a subtest of test; the
    connection is closed when the caller moves on."""
    for dsn in dsns:
        with test.subTest(dsn=dsn):
            cnxn = pyodbc.connect("DSN=" + dsn, **connect_args)
            try:
                yield dsn, cnxn
            finally:
                cnxn.close()
