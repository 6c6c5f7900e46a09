package quillmar.support;

import java.sql.ResultSet;
import java.sql.ResultSetMetaData;
import java.sql.SQLException;

/**
 * What the block reader may know of one JDBC driver beyond the JDBC
 * interfaces: how to read the stored fields of its date, time and timestamp
 * values (the wall time the database holds) faster than through a java.time
 * object for each value. A driver with no shortcut ({@link #of} answers
 * null) has every value read by the block's own readers, and so has every
 * value a shortcut does not answer: a shortcut that no longer fits its
 * driver costs speed, never data.
 */
interface QMRShortcut {
    /** Answer of {@link #wall}: the getter reads the value. */
    long GETTER = Long.MIN_VALUE;
    /** Answer of {@link #wall}: the value is null. */
    long NULL = Long.MIN_VALUE + 1;

    /**
     * For each column of rs, read as the kind kinds gives it (the block's
     * kinds), whether {@link #wall} reads it; null when it reads none.
     */
    default boolean[] wallColumns(ResultSet rs, int[] kinds) {
        try {
            ResultSetMetaData md = rs.getMetaData();
            boolean[] out = new boolean[kinds.length];
            boolean any = false;
            for (int c = 0; c < kinds.length; ++c) {
                out[c] = readsColumn(md, kinds[c], c + 1);
                any |= out[c];
            }
            return any ? out : null;
        } catch (Exception e) {
            return null;
        }
    }

    /** Whether {@link #wall} reads column col (1-based) of md, read as kind. */
    boolean readsColumn(ResultSetMetaData md, int kind, int col) throws SQLException;

    /**
     * The value of column col of the current row as its stored wall time:
     * milliseconds since 1970 read in UTC, whole seconds (a date at its
     * midnight, a time on 1970-01-01), with its nanoseconds in nanos[0];
     * {@link #NULL}; or {@link #GETTER}. wasNull follows it as it follows
     * the getter.
     */
    long wall(ResultSet rs, int kind, int col, int[] nanos) throws SQLException;

    /** The shortcut for the result sets of class c; null for a driver without one. */
    static QMRShortcut of(Class<?> c) {
        if (c.getName().equals("org.hsqldb.jdbc.JDBCResultSet")) {
            return new QMRHsqldbShortcut(c);
        }
        if (c.getName().equals("org.postgresql.jdbc.PgResultSet")) {
            return new QMRPgShortcut();
        }
        return null;
    }
}
