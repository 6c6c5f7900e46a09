package quillmar.support;

import java.lang.invoke.MethodHandle;
import java.lang.invoke.MethodHandles;
import java.lang.invoke.MethodType;
import java.lang.reflect.Method;
import java.sql.ResultSet;
import java.sql.ResultSetMetaData;
import java.sql.SQLException;
import java.sql.Types;
import java.time.LocalDate;
import java.time.LocalDateTime;
import java.time.LocalTime;
import java.time.ZoneOffset;

/**
 * HSQLDB stores plain DATE, TIME and TIMESTAMP values as their wall
 * time. Its result set's own reading of a stored value (a private method)
 * gives those fields without a java.time object for each; where that method
 * cannot be reached, java.time reads them. Made once per result set class;
 * shared by every block and thread, so nothing in it changes after it is
 * made.
 */
final class QMRHsqldbShortcut implements QMRShortcut {
    private static final long DAY = 86400000L;
    // HSQLDB's stored seconds before the Gregorian cut-over count by its
    // calendar's Julian days: such values are left to java.time.
    private static final long GREGORIAN_CUTOVER = -12219292800L;

    /** The stored value's reader and its date and time classes; null where they cannot be reached. */
    private final MethodHandle columnValue;
    private final Class<?> timestampData;
    private final Class<?> timeData;
    private final MethodHandle stampSeconds;
    private final MethodHandle stampNanos;
    private final MethodHandle timeSeconds;
    private final MethodHandle timeNanos;

    QMRHsqldbShortcut(Class<?> c) {
        MethodHandle value = null;
        Class<?> stamp = null;
        Class<?> time = null;
        MethodHandle[] fields = new MethodHandle[4];
        try {
            Method m = c.getDeclaredMethod("getColumnValue", int.class);
            m.setAccessible(true);
            MethodHandles.Lookup lookup = MethodHandles.lookup();
            ClassLoader loader = c.getClassLoader();
            stamp = Class.forName("org.hsqldb.types.TimestampData", false, loader);
            time = Class.forName("org.hsqldb.types.TimeData", false, loader);
            MethodType ofLong = MethodType.methodType(long.class, Object.class);
            MethodType ofInt = MethodType.methodType(int.class, Object.class);
            fields[0] = lookup.unreflect(stamp.getMethod("getSeconds")).asType(ofLong);
            fields[1] = lookup.unreflect(stamp.getMethod("getNanos")).asType(ofInt);
            fields[2] = lookup.unreflect(time.getMethod("getSeconds")).asType(ofInt);
            fields[3] = lookup.unreflect(time.getMethod("getNanos")).asType(ofInt);
            value = lookup.unreflect(m).asType(
                    MethodType.methodType(Object.class, ResultSet.class, int.class));
        } catch (Throwable t) {
            value = null;
        }
        columnValue = value;
        timestampData = stamp;
        timeData = time;
        stampSeconds = fields[0];
        stampNanos = fields[1];
        timeSeconds = fields[2];
        timeNanos = fields[3];
    }

    @Override
    public boolean readsColumn(ResultSetMetaData md, int kind, int col) throws SQLException {
        int type = kind == QMRRowBlock.DATE ? Types.DATE
                : kind == QMRRowBlock.TIME ? Types.TIME
                : kind == QMRRowBlock.TIMESTAMP ? Types.TIMESTAMP : Integer.MIN_VALUE;
        return type != Integer.MIN_VALUE && md.getColumnType(col) == type;
    }

    @Override
    public long wall(ResultSet rs, int kind, int col, int[] nanos) throws SQLException {
        if (columnValue == null) {
            return throughJavaTime(rs, kind, col, nanos);
        }
        Object o = storedValue(rs, col);
        if (o == null) {
            return NULL;
        }
        try {
            if (kind == QMRRowBlock.TIME && timeData.isInstance(o)) {
                int seconds = (int) timeSeconds.invokeExact(o) % 86400;
                nanos[0] = (int) timeNanos.invokeExact(o);
                return (seconds < 0 ? seconds + 86400 : seconds) * 1000L;
            }
            if (kind != QMRRowBlock.TIME && timestampData.isInstance(o)) {
                long seconds = (long) stampSeconds.invokeExact(o);
                if (seconds < GREGORIAN_CUTOVER) {
                    return GETTER;
                }
                if (kind == QMRRowBlock.DATE) {
                    nanos[0] = 0;
                    return Math.floorDiv(seconds, 86400L) * DAY;
                }
                nanos[0] = (int) stampNanos.invokeExact(o);
                return seconds * 1000;
            }
        } catch (RuntimeException | Error e) {
            throw e;
        } catch (Throwable t) {
            throw new SQLException(t);
        }
        return GETTER;
    }

    /** The stored value of col in the current row (wasNull follows it). */
    private Object storedValue(ResultSet rs, int col) throws SQLException {
        try {
            return (Object) columnValue.invokeExact(rs, col);
        } catch (SQLException | RuntimeException | Error e) {
            throw e;
        } catch (Throwable t) {
            throw new SQLException(t);
        }
    }

    private static long throughJavaTime(ResultSet rs, int kind, int col, int[] nanos)
            throws SQLException {
        switch (kind) {
            case QMRRowBlock.DATE: {
                LocalDate v = rs.getObject(col, LocalDate.class);
                nanos[0] = 0;
                return v == null ? NULL : v.toEpochDay() * DAY;
            }
            case QMRRowBlock.TIME: {
                LocalTime v = rs.getObject(col, LocalTime.class);
                if (v == null) {
                    return NULL;
                }
                nanos[0] = v.getNano();
                return v.toSecondOfDay() * 1000L;
            }
            default: {
                LocalDateTime v = rs.getObject(col, LocalDateTime.class);
                if (v == null) {
                    return NULL;
                }
                nanos[0] = v.getNano();
                return v.toEpochSecond(ZoneOffset.UTC) * 1000;
            }
        }
    }
}
