package quillmar.support;

import java.lang.ref.WeakReference;
import java.math.BigDecimal;
import java.nio.charset.StandardCharsets;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.ResultSetMetaData;
import java.sql.SQLException;
import java.sql.SQLWarning;
import java.sql.Statement;
import java.time.Instant;
import java.time.LocalDateTime;
import java.time.ZoneOffset;
import java.time.zone.ZoneOffsetTransition;
import java.time.zone.ZoneRules;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.GregorianCalendar;
import java.util.TimeZone;

/**
 * Reads a block of rows of a result set in one call from native code. Every
 * value is read with the same getter (and wasNull after it) that a
 * per-value read would use; the results land in a few flat arrays that
 * native code copies out in a handful of calls instead of two or more per
 * value.
 *
 * Layout: each row takes a fixed number of slots of {@link #fixed}; a
 * column's slots follow those of the columns before it. Text and byte
 * values keep their length in their slot (-1 for a null value) and their
 * contents, row after row, in {@link #bytes} (UTF-8 text, bytes) or
 * {@link #chars} (UTF-16 text). {@link #nulls} holds 1 for each null value,
 * by row then column.
 *
 * Dates, times and timestamps travel as their fields, computed from the
 * instant the getter returns exactly as java.util.Date's deprecated field
 * getters compute them (the default zone, the Julian calendar before the
 * Gregorian cut-over, the era's year before year 1) without building a
 * calendar date for each value. Where a driver's shortcut ({@link
 * QMRShortcut}) knows its getter builds the instant from the stored fields
 * as a wall time of a zone it can name, the shortcut reads those fields and
 * the instant is computed here, which skips the calendars the getter goes
 * through (see {@link #readWall} and {@link #instantOf}).
 * BIGINT and DECIMAL values travel as an
 * unscaled number and a scale that native code writes as the plain text a
 * per-value read gives; a value that does not fit travels as that text.
 */
public final class QMRRowBlock {
    public static final int BOOLEAN = 0;
    public static final int BYTE = 1;
    public static final int SHORT = 2;
    public static final int INT = 3;
    public static final int FLOAT = 4;     // the float's bits
    public static final int DOUBLE = 5;    // the double's bits
    public static final int DATE = 6;      // year, month, day (3 slots)
    public static final int TIME = 7;      // hour, minute, second (3 slots)
    public static final int TIMESTAMP = 8; // the date, the time, nanoseconds (7 slots)
    public static final int TEXT = 9;      // getString as UTF-8
    public static final int PLAIN = 10;    // a decimal's plain text, else getString, as UTF-8
    public static final int WTEXT = 11;    // getString as UTF-16
    public static final int BINARY = 12;   // getBytes
    public static final int BIGINT = 13;   // getLong as a number (2 slots)
    public static final int DECIMAL = 14;  // a decimal's unscaled value and scale (2 slots)

    /** The scale slot of a number that travels as text in {@link #bytes}. */
    public static final long AS_TEXT = -1;
    private static final int MAX_SCALE = 1000;
    private static final long DAY = 86400000L;
    // java.util.Date's cut-over from the Julian to the Gregorian calendar.
    private static final long GREGORIAN_CUTOVER = -12219292800000L;

    private int[] kinds;
    private int slotsPerRow;

    // Grown, never shrunk: a statement keeps its block from fetch to fetch
    // and from one execute to the next.
    public long[] fixed;
    public byte[] nulls;
    public byte[] bytes = new byte[256];
    public char[] chars = new char[128];
    public int byteCount;
    public int charCount;
    /** Rows read completely. */
    public int rows;
    /** The result set has no more rows. */
    public boolean atEnd;
    /** What a getter or next() threw; the rows before it are complete. */
    public Throwable failure;

    /** The default zone while a block is read. */
    private TimeZone zone;

    // Dates, times and timestamps read through java.time (see instantOf).
    /**
     * The result set the choices below were made for, held weakly: a block
     * kept by an idle statement must not keep a finished result's rows.
     */
    private WeakReference<ResultSet> localFor;
    /** Per column: read through the shortcut; null when no column is. */
    private boolean[] local;
    /** The shortcut of the result set's driver; null: every value through its getter. */
    private QMRShortcut shortcut;
    private Class<?> shortcutOwner;
    private final int[] wallNanos = new int[1];
    /** A shortcut read a value in this block. */
    private boolean shortcutRead;
    /** The session zone's wall-time table (see wallTable). */
    private Object[] walls;
    private long[] wallLo;
    private long[] wallHi;
    private int[] wallOffset;
    /** The interval of the wall table the last value fell in. */
    private int wallAt;
    /** The default zone has the session zone's rules: fields are the wall time. */
    private boolean sameZone;

    /**
     * Off (-Dquillmar.block.shortcuts=off, or set here by a test), every
     * value is read through its getter: what a driver whose shortcut no
     * longer fits gets, so that both ways can be compared.
     */
    static volatile boolean shortcuts = !"off".equals(property("quillmar.block.shortcuts"));
    /** Blocks in which a shortcut read a value (for tests). */
    static volatile long shortcutBlocks;
    /** The last result set class and its shortcut, shared by every block. */
    private static volatile Object[] lastShortcut;

    /** What instantOf answers for a wall time the table does not cover. */
    private static final long NO_INSTANT = Long.MIN_VALUE;
    // The table covers walls from 1900 to 2038, where the zone data of
    // java.time and of TimeZone agree; no offset exceeds 18 hours.
    private static final long TABLE_FROM = -2208988800000L;
    private static final long TABLE_TO = 2145916800000L;
    private static final long MAX_OFFSET = 18 * 3600000L;
    /** The last zone's table, shared by every block. */
    private static volatile Object[] lastWalls;

    private static String property(String name) {
        try {
            return System.getProperty(name);
        } catch (RuntimeException e) {
            return null;
        }
    }

    /** The shortcut for the result sets of class c, chosen once per class. */
    private QMRShortcut shortcutOf(Class<?> c) {
        if (c == shortcutOwner) {
            return shortcut;
        }
        Object[] last = lastShortcut;
        if (last == null || last[0] != c) {
            last = new Object[] {c, QMRShortcut.of(c)};
            lastShortcut = last;
        }
        shortcutOwner = c;
        return (QMRShortcut) last[1];
    }

    public static int slots(int kind) {
        switch (kind) {
            case DATE:
            case TIME:
                return 3;
            case TIMESTAMP:
                return 7;
            case BIGINT:
            case DECIMAL:
                return 2;
            default:
                return 1;
        }
    }

    public QMRRowBlock(int[] kinds, int capacity) {
        fixed = new long[1];
        nulls = new byte[1];
        reshape(kinds, capacity);
    }

    /** The block takes other columns; the arrays stay when they are big enough. */
    public void reshape(int[] kinds, int capacity) {
        this.kinds = kinds.clone();
        localFor = null;
        local = null;
        int n = 0;
        for (int k : kinds) {
            n += slots(k);
        }
        slotsPerRow = n;
        room(capacity);
    }

    private void room(int capacity) {
        if (fixed.length < slotsPerRow * capacity) {
            fixed = new long[slotsPerRow * capacity];
        }
        if (nulls.length < kinds.length * capacity) {
            nulls = new byte[kinds.length * capacity];
        }
    }

    // Setters of run, one a parameter in setters (index << 4 | setter).
    public static final int SET_NULL = 0;     // the value is the JDBC type
    public static final int SET_BOOLEAN = 1;
    public static final int SET_BYTE = 2;
    public static final int SET_SHORT = 3;
    public static final int SET_INT = 4;
    public static final int SET_LONG = 5;
    public static final int SET_FLOAT = 6;    // the float's bits
    public static final int SET_DOUBLE = 7;   // the double's bits
    public static final int SET_STRING = 8;   // the text in texts
    // Where run stopped, in stage: a setter or the execute threw.
    public static final int SETTING = 0;
    public static final int EXECUTING = 1;
    public static final int RAN = 2;
    // What run found, in answer.
    public static final int SAME_SHAPE = 1;
    public static final int OTHER_SHAPE = 2;
    /** The first block of the result was read (rows, atEnd, failure and the arrays hold it). */
    public static final int READ = 4;

    public int stage;
    public int answer;

    /**
     * Executes ps and gives its result set, null for an update count: one
     * call from native code instead of two, for a statement with nothing to
     * set, compare or read ahead (which needs no block).
     */
    public static ResultSet execute(PreparedStatement ps) throws SQLException {
        ps.execute();
        return ps.getResultSet();
    }

    /**
     * What a prepared statement's execute makes in several calls from
     * native code, in one: the parameters set (with the setters and values
     * the value-by-value calls use, in their order; a warning a setter
     * throws is dropped as there), the execute, its result set (null for an
     * update count), and when facts is given the comparison with a kept
     * description (see sameShape) and, where it holds and max is positive,
     * the first block of up to max rows read ahead (see fill). What a
     * setter, the execute or getResultSet throws leaves the call, with
     * stage telling which.
     */
    public ResultSet run(PreparedStatement ps, int[] setters, long[] values, Object[] texts,
                         int params, int[] facts, String[] labels, int max) throws SQLException {
        answer = 0;
        stage = SETTING;
        for (int i = 0; i < params; ++i) {
            try {
                set(ps, setters[i] >>> 4, setters[i] & 15, values[i], texts[i]);
            } catch (SQLWarning w) {
                // dropped, as the value-by-value setter's is
            } finally {
                texts[i] = null;
            }
        }
        stage = EXECUTING;
        ps.execute();
        ResultSet rs = ps.getResultSet();
        stage = RAN;
        if (rs != null && facts != null) {
            ResultSetMetaData md = sameShape(rs, facts, labels);
            answer = md == null ? OTHER_SHAPE : SAME_SHAPE;
            if (md != null && max > 0) {
                fill(rs, max);
                answer |= READ;
            }
        }
        return rs;
    }

    private static void set(PreparedStatement ps, int index, int setter, long v, Object text)
            throws SQLException {
        switch (setter) {
            case SET_NULL:
                ps.setNull(index, (int) v);
                break;
            case SET_BOOLEAN:
                ps.setBoolean(index, v != 0);
                break;
            case SET_BYTE:
                ps.setByte(index, (byte) v);
                break;
            case SET_SHORT:
                ps.setShort(index, (short) v);
                break;
            case SET_INT:
                ps.setInt(index, (int) v);
                break;
            case SET_LONG:
                ps.setLong(index, v);
                break;
            case SET_FLOAT:
                ps.setFloat(index, Float.intBitsToFloat((int) v));
                break;
            case SET_DOUBLE:
                ps.setDouble(index, Double.longBitsToDouble(v));
                break;
            case SET_STRING:
                ps.setString(index, (String) text);
                break;
            default:
                throw new IllegalArgumentException("setter " + setter);
        }
    }

    /**
     * Runs sql on st and gives its result set, null for an update count:
     * one call from native code instead of two.
     */
    public static ResultSet execute(Statement st, String sql) throws SQLException {
        st.execute(sql);
        return st.getResultSet();
    }

    /**
     * The labels of md's columns ("" for none), kept with a description so
     * that {@link #sameShape} can compare them without native copies.
     */
    public static String[] labels(ResultSetMetaData md) throws SQLException {
        String[] out = new String[md.getColumnCount()];
        for (int i = 0; i < out.length; ++i) {
            String label = md.getColumnLabel(i + 1);
            out[i] = label == null ? "" : label;
        }
        return out;
    }

    /**
     * The metadata of rs when it answers what a kept description was made
     * from, else null: for each column its type, precision, scale and
     * display size (four ints a column in facts) and its label, read as a
     * description reads them (a precision or scale the driver cannot give
     * counts as 0). Any other failure answers null: the description is then
     * read afresh, which reports it.
     */
    public static ResultSetMetaData sameShape(ResultSet rs, int[] facts, String[] labels) {
        try {
            ResultSetMetaData md = rs.getMetaData();
            int n = md == null ? -1 : md.getColumnCount();
            if (n != labels.length || facts.length != 4 * n) {
                return null;
            }
            for (int i = 0; i < n; ++i) {
                int c = i + 1;
                if (md.getColumnType(c) != facts[4 * i]
                        || md.getColumnDisplaySize(c) != facts[4 * i + 3]) {
                    return null;
                }
                int scale;
                try {
                    scale = md.getScale(c);
                } catch (Exception e) {
                    scale = 0;
                }
                int precision;
                try {
                    precision = md.getPrecision(c);
                } catch (Exception e) {
                    precision = 0;
                }
                String label = md.getColumnLabel(c);
                if (precision != facts[4 * i + 1] || scale != facts[4 * i + 2]
                        || !labels[i].equals(label == null ? "" : label)) {
                    return null;
                }
            }
            return md;
        } catch (Exception e) {
            return null;
        }
    }

    /**
     * Reads up to max rows; the count of complete rows. A warning thrown
     * where a value is read stands for no value (the getter's default); one
     * thrown by next() ends the rows.
     */
    public int fill(ResultSet rs, int max) {
        room(max);
        rows = 0;
        byteCount = 0;
        charCount = 0;
        atEnd = false;
        failure = null;
        shortcutRead = false;
        zone = TimeZone.getDefault();
        try {
            chooseLocal(rs);
            while (rows < max) {
                boolean more;
                try {
                    more = rs.next();
                } catch (SQLWarning w) {
                    more = false;
                }
                if (!more) {
                    atEnd = true;
                    break;
                }
                int slot = rows * slotsPerRow;
                int flag = rows * kinds.length;
                for (int c = 0; c < kinds.length; ++c) {
                    try {
                        read(rs, kinds[c], c + 1, slot);
                    } catch (SQLWarning w) {
                        blank(kinds[c], slot);
                    }
                    slot += slots(kinds[c]);
                    boolean isNull;
                    try {
                        isNull = rs.wasNull();
                    } catch (SQLWarning w) {
                        isNull = false;
                    }
                    nulls[flag + c] = (byte) (isNull ? 1 : 0);
                }
                ++rows;
            }
        } catch (Throwable t) {
            failure = t;
        }
        if (shortcutRead) {
            ++shortcutBlocks;
        }
        return rows;
    }

    private void blank(int kind, int slot) {
        boolean variable = kind == TEXT || kind == PLAIN || kind == WTEXT || kind == BINARY
                || kind == BIGINT || kind == DECIMAL;
        int n = slots(kind);
        for (int i = 0; i < n; ++i) {
            fixed[slot + i] = variable ? -1 : 0;
        }
    }

    /**
     * The fields of instant utc (milliseconds) in the default zone: year,
     * month and day at slot when date is set, then hour, minute and second.
     */
    private void fields(long utc, int slot, boolean date, boolean time) {
        // Offset and instant apart, as the calendar adds them: an instant
        // at the end of the range (a driver's "infinity") must not overflow.
        int offset = zone.getOffset(utc);
        long days = offset / DAY + utc / DAY;
        long ms = offset % DAY + utc % DAY;
        if (ms >= DAY) {
            ms -= DAY;
            ++days;
        } else {
            while (ms < 0) {
                ms += DAY;
                --days;
            }
        }
        if (date) {
            if (utc >= 0 || utc >= GREGORIAN_CUTOVER - zone.getOffset(utc)) {
                gregorian(days, slot);
            } else {
                julian(days, slot);
            }
            slot += 3;
        }
        if (time) {
            fixed[slot] = ms / 3600000;
            fixed[slot + 1] = ms / 60000 % 60;
            fixed[slot + 2] = ms / 1000 % 60;
        }
    }

    /** Days since 1970-01-01 as a proleptic Gregorian date. */
    private void gregorian(long days, int slot) {
        long z = days + 719468;
        long era = Math.floorDiv(z, 146097);
        long doe = z - era * 146097;
        long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        long mp = (5 * doy + 2) / 153;
        long month = mp < 10 ? mp + 3 : mp - 9;
        fixed[slot] = yoe + era * 400 + (month <= 2 ? 1 : 0);
        fixed[slot + 1] = month;
        fixed[slot + 2] = doy - (153 * mp + 2) / 5 + 1;
    }

    /**
     * Days since 1970-01-01 as a Julian date; a year before 1 counts back
     * from 1 as the era's year, as Date.getYear gives it.
     */
    private void julian(long days, int slot) {
        long c = days + 2440588 + 32082;
        long d = Math.floorDiv(4 * c + 3, 1461);
        long e = c - Math.floorDiv(1461 * d, 4);
        long m = Math.floorDiv(5 * e + 2, 153);
        long year = d - 4800 + m / 10;
        fixed[slot] = year <= 0 ? 1 - year : year;
        fixed[slot + 1] = m + 3 - 12 * (m / 10);
        fixed[slot + 2] = e - (153 * m + 2) / 5 + 1;
    }

    /**
     * Decides once per result set which date, time and timestamp columns
     * its driver's shortcut reads (see {@link QMRShortcut}). Anything
     * unexpected leaves every column to its getter.
     */
    private void chooseLocal(ResultSet rs) {
        boolean fresh = localFor == null || localFor.get() != rs;
        if (fresh) {
            localFor = new WeakReference<ResultSet>(rs);
            local = null;
            boolean any = false;
            for (int k : kinds) {
                any |= k == DATE || k == TIME || k == TIMESTAMP;
            }
            if (!any || !shortcuts) {
                return;
            }
            shortcut = shortcutOf(rs.getClass());
            if (shortcut == null) {
                return;
            }
        } else if (local == null) {
            return;
        }
        // The session zone may have moved (SET TIME ZONE) since the last block.
        TimeZone session = shortcut.wallZone(rs);
        if (session != null && fresh) {
            local = shortcut.wallColumns(rs, kinds);
        }
        if (session != null && local != null) {
            useWalls(session);
        }
        if (session == null || wallLo == null) {
            local = null;
            return;
        }
        sameZone = zone.hasSameRules(session);
    }

    private void useWalls(TimeZone session) {
        Object[] t = walls;
        if (t == null || (t[0] != session && !sameRules((TimeZone) t[0], session))) {
            t = lastWalls;
            if (t == null || !sameRules((TimeZone) t[0], session)) {
                t = wallTable(session);
                lastWalls = t;
            }
        }
        if (t != walls) {
            walls = t;
            wallLo = (long[]) t[1];
            wallHi = (long[]) t[2];
            wallOffset = (int[]) t[3];
            wallAt = 0;
        }
    }

    private static boolean sameRules(TimeZone a, TimeZone b) {
        return a.getID().equals(b.getID()) && a.hasSameRules(b);
    }

    /**
     * The table of zone's wall times that have exactly one instant: wall
     * times from lo[k] up to hi[k] are the instant plus offset[k]. A wall
     * time in a gap or an overlap falls outside every interval, and is
     * left to the driver's getter with its calendar. The intervals come
     * from java.time's rules; every offset is checked against the zone
     * itself and every interval's ends against a calendar, and a zone that
     * fails a check gets no table (null arrays).
     */
    private static Object[] wallTable(TimeZone zone) {
        TimeZone z = (TimeZone) zone.clone();
        Object[] none = {z, null, null, null};
        ArrayList<Long> at = new ArrayList<Long>();
        ArrayList<Integer> offsets = new ArrayList<Integer>();
        try {
            ZoneRules rules = z.toZoneId().getRules();
            int offset = z.getOffset(TABLE_FROM);
            offsets.add(offset);
            Instant from = Instant.ofEpochMilli(TABLE_FROM);
            for (;;) {
                ZoneOffsetTransition t = rules.nextTransition(from);
                if (t == null || t.toEpochSecond() * 1000 >= TABLE_TO) {
                    break;
                }
                from = t.getInstant();
                int after = t.getOffsetAfter().getTotalSeconds() * 1000;
                if (after != offset) {
                    at.add(t.toEpochSecond() * 1000);
                    offsets.add(after);
                    offset = after;
                }
            }
        } catch (RuntimeException e) {
            return none;
        }
        int n = offsets.size();
        long[] lo = new long[n];
        long[] hi = new long[n];
        int[] off = new int[n];
        GregorianCalendar cal = new GregorianCalendar(z);
        int used = 0;
        for (int k = 0; k < n; ++k) {
            long start = k == 0 ? TABLE_FROM : at.get(k - 1);
            long end = k == n - 1 ? TABLE_TO : at.get(k);
            int o = offsets.get(k);
            if (z.getOffset(start) != o || z.getOffset(end - 1) != o) {
                return none;
            }
            long wallFrom = k == 0 ? start + MAX_OFFSET : start + Math.max(o, offsets.get(k - 1));
            long wallTo = k == n - 1 ? end - MAX_OFFSET : end + Math.min(o, offsets.get(k + 1));
            if (wallFrom >= wallTo) {
                continue;
            }
            // A calendar set to either end gives the instant the table does.
            if (calendarInstant(cal, wallFrom) != wallFrom - o
                    || calendarInstant(cal, wallTo - 1000) != wallTo - 1000 - o) {
                return none;
            }
            lo[used] = wallFrom;
            hi[used] = wallTo;
            off[used] = o;
            ++used;
        }
        return new Object[] {z, Arrays.copyOf(lo, used), Arrays.copyOf(hi, used),
                             Arrays.copyOf(off, used)};
    }

    /** The instant a lenient calendar gives for a wall time (1900 on, whole seconds). */
    private static long calendarInstant(GregorianCalendar cal, long wall) {
        LocalDateTime f = LocalDateTime.ofEpochSecond(Math.floorDiv(wall, 1000), 0, ZoneOffset.UTC);
        cal.clear();
        cal.set(f.getYear(), f.getMonthValue() - 1, f.getDayOfMonth(), f.getHour(), f.getMinute(),
                f.getSecond());
        return cal.getTimeInMillis();
    }

    /**
     * The instant HSQLDB's getters give for a wall time of the session
     * zone (the stored fields as milliseconds since 1970 in UTC), or
     * NO_INSTANT when the table does not answer it.
     */
    private long instantOf(long wall) {
        int k = wallAt;
        if (k >= wallLo.length || wall < wallLo[k] || wall >= wallHi[k]) {
            k = Arrays.binarySearch(wallLo, wall);
            if (k < 0) {
                k = -k - 2;
            }
            if (k < 0 || wall >= wallHi[k]) {
                return NO_INSTANT;
            }
            wallAt = k;
        }
        return wall - wallOffset[k];
    }

    /**
     * A date, time or timestamp from the shortcut's stored wall time, as
     * its getter would give it; false when the getter must read it
     * (nothing is written then).
     */
    private boolean readWall(ResultSet rs, int kind, int col, int slot) throws SQLException {
        long wall = shortcut.wall(rs, kind, col, wallNanos);
        if (wall == QMRShortcut.GETTER) {
            return false;
        }
        shortcutRead = true;
        if (wall == QMRShortcut.NULL) {
            blank(kind, slot);
            return true;
        }
        return wallValue(kind, wall, wallNanos[0], slot);
    }

    /**
     * The fields of a value whose stored fields are wall (milliseconds since
     * 1970 read in UTC, whole seconds): the getter's instant is the wall time
     * less the session zone's offset, its fields that instant's in the
     * default zone, which are the wall time's own where both zones have the
     * same rules. A time's instant carries the milliseconds of its
     * nanoseconds. False when the wall table does not answer.
     */
    private boolean wallValue(int kind, long wall, int nanos, int slot) {
        long utc = instantOf(wall);
        if (utc == NO_INSTANT) {
            return false;
        }
        boolean date = kind != TIME;
        boolean time = kind != DATE;
        if (sameZone) {
            // From 1900 on: the Gregorian calendar.
            if (date) {
                gregorian(Math.floorDiv(wall, DAY), slot);
            }
            if (time) {
                long ms = Math.floorMod(wall, DAY);
                int at = date ? slot + 3 : slot;
                fixed[at] = ms / 3600000;
                fixed[at + 1] = ms / 60000 % 60;
                fixed[at + 2] = ms / 1000 % 60;
            }
        } else {
            fields(kind == TIME ? utc + nanos / 1000000 : utc, slot, date, time);
        }
        if (kind == TIMESTAMP) {
            fixed[slot + 6] = nanos;
        }
        return true;
    }

    /** A value that travels as text where a number would. */
    private void numberText(String s, int slot) {
        fixed[slot] = putText(s);
        fixed[slot + 1] = AS_TEXT;
    }

    /** What a per-value read of a number column gives as text. */
    private static String plain(ResultSet rs, Object o, int col) throws SQLException {
        if (o == null) {
            return null;
        }
        if (o instanceof BigDecimal) {
            return ((BigDecimal) o).toPlainString();
        }
        return rs.getString(col);
    }

    @SuppressWarnings("deprecation")
    private void read(ResultSet rs, int kind, int col, int slot) throws SQLException {
        switch (kind) {
            case BOOLEAN:
                fixed[slot] = rs.getBoolean(col) ? 1 : 0;
                break;
            case BYTE:
                fixed[slot] = rs.getByte(col);
                break;
            case SHORT:
                fixed[slot] = rs.getShort(col);
                break;
            case INT:
                fixed[slot] = rs.getInt(col);
                break;
            case FLOAT:
                fixed[slot] = Float.floatToRawIntBits(rs.getFloat(col));
                break;
            case DOUBLE:
                fixed[slot] = Double.doubleToRawLongBits(rs.getDouble(col));
                break;
            case DATE: {
                if (local != null && local[col - 1] && readWall(rs, DATE, col, slot)) {
                    break;
                }
                java.sql.Date d = rs.getDate(col);
                if (d == null) {
                    blank(DATE, slot);
                } else {
                    fields(d.getTime(), slot, true, false);
                }
                break;
            }
            case TIME: {
                if (local != null && local[col - 1] && readWall(rs, TIME, col, slot)) {
                    break;
                }
                java.sql.Time t = rs.getTime(col);
                if (t == null) {
                    blank(TIME, slot);
                } else {
                    fields(t.getTime(), slot, false, true);
                }
                break;
            }
            case TIMESTAMP: {
                if (local != null && local[col - 1] && readWall(rs, TIMESTAMP, col, slot)) {
                    break;
                }
                java.sql.Timestamp t = rs.getTimestamp(col);
                if (t == null) {
                    blank(TIMESTAMP, slot);
                } else {
                    // getTime adds the milliseconds of the nanoseconds to
                    // the whole seconds the fields come from.
                    int nanos = t.getNanos();
                    fields(t.getTime() - nanos / 1000000, slot, true, true);
                    fixed[slot + 6] = nanos;
                }
                break;
            }
            case BIGINT: {
                long v;
                try {
                    v = rs.getLong(col);
                } catch (SQLWarning w) {
                    throw w;
                } catch (SQLException e) {
                    // Beyond a long (an unsigned BIGINT): the text, as read
                    // value by value.
                    numberText(plain(rs, rs.getObject(col), col), slot);
                    break;
                }
                fixed[slot] = v;
                fixed[slot + 1] = 0;
                break;
            }
            case DECIMAL: {
                Object o = rs.getObject(col);
                if (o instanceof BigDecimal) {
                    BigDecimal d = (BigDecimal) o;
                    int scale = d.scale();
                    if (scale >= 0 && scale <= MAX_SCALE && d.precision() <= 18) {
                        // The unscaled value without the BigInteger that
                        // unscaledValue builds for each value.
                        fixed[slot] = d.scaleByPowerOfTen(scale).longValue();
                        fixed[slot + 1] = scale;
                        break;
                    }
                }
                numberText(plain(rs, o, col), slot);
                break;
            }
            case TEXT:
                fixed[slot] = putText(rs.getString(col));
                break;
            case PLAIN: {
                Object o = rs.getObject(col);
                String s;
                if (o == null) {
                    s = null;
                } else if (o instanceof BigDecimal) {
                    s = ((BigDecimal) o).toPlainString();
                } else {
                    s = rs.getString(col);
                }
                fixed[slot] = putText(s);
                break;
            }
            case WTEXT:
                fixed[slot] = putChars(rs.getString(col));
                break;
            case BINARY:
                fixed[slot] = putBytes(rs.getBytes(col));
                break;
            default:
                throw new IllegalArgumentException("value kind " + kind);
        }
    }

    /**
     * s as UTF-8 in {@link #bytes}; its length, -1 for null. Text that is
     * all ASCII, most of what a result holds, is its own UTF-8 and is
     * written in place instead of through an encoded copy for each value.
     */
    private int putText(String s) {
        if (s == null) {
            return -1;
        }
        int n = s.length();
        if (bytes.length - byteCount < n) {
            bytes = java.util.Arrays.copyOf(bytes, grow(bytes.length, byteCount + n));
        }
        for (int i = 0; i < n; ++i) {
            char ch = s.charAt(i);
            if (ch >= 0x80) {
                return putBytes(s.getBytes(StandardCharsets.UTF_8));
            }
            bytes[byteCount + i] = (byte) ch;
        }
        byteCount += n;
        return n;
    }

    private int putBytes(byte[] b) {
        if (b == null) {
            return -1;
        }
        if (bytes.length - byteCount < b.length) {
            bytes = java.util.Arrays.copyOf(bytes, grow(bytes.length, byteCount + b.length));
        }
        System.arraycopy(b, 0, bytes, byteCount, b.length);
        byteCount += b.length;
        return b.length;
    }

    private int putChars(String s) {
        if (s == null) {
            return -1;
        }
        int n = s.length();
        if (chars.length - charCount < n) {
            chars = java.util.Arrays.copyOf(chars, grow(chars.length, charCount + n));
        }
        s.getChars(0, n, chars, charCount);
        charCount += n;
        return n;
    }

    private static int grow(int have, int need) {
        long n = Math.max((long) have * 2, need);
        return (int) Math.min(n, Integer.MAX_VALUE - 8);
    }
}
