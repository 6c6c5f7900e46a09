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
import java.sql.Types;
import java.time.LocalDate;
import java.time.LocalDateTime;
import java.time.LocalTime;
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
 * Dates, times and timestamps travel as the fields the database holds,
 * never through an instant of the VM's zone: read by a driver's shortcut
 * ({@link QMRShortcut}) from its stored value, else from the java.time
 * value of getObject, else from the database's text (see {@link
 * #readLocal}). A year travels whole (native code stores it as the element
 * takes it, see util/colset.h), the infinities as java.time's MAX and MIN
 * years, 24:00 as hour 24.
 * Only a driver that gives neither java.time values nor a text of the
 * usual forms has its values computed from the java.sql getter's instant
 * as java.util.Date's deprecated field getters compute them (the default
 * zone, the Julian calendar before the Gregorian cut-over).
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
    public static final int TIME = 7;      // hour, minute, second, nanoseconds, offset (5 slots)
    public static final int TIMESTAMP = 8; // the date, the time, nanoseconds, offset (8 slots)
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
    /** The failure is a getter's: the result set stands on the row that failed. */
    public boolean rowFailed;

    /** The default zone while a block is read. */
    private TimeZone zone;

    /**
     * The result set the choices below were made for, held weakly: a block
     * kept by an idle statement must not keep a finished result's rows.
     */
    private WeakReference<ResultSet> localFor;
    /** Per column: read through the shortcut; null when no column is. */
    private boolean[] local;
    /** Per column: a type with a zone, read from its text; null when none is. */
    private boolean[] zoned;
    /** The driver refused a java.time getObject: the text from then on. */
    private boolean localAsText;
    /** The shortcut of the result set's driver; null: every value through its getter. */
    private QMRShortcut shortcut;
    private Class<?> shortcutOwner;
    private final int[] wallNanos = new int[1];
    /** A shortcut read a value in this block. */
    private boolean shortcutRead;

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

    // What java.time's MAX and MIN carry (PostgreSQL's infinities).
    private static final int JAVA_YEAR_END = 999999999;
    // An offset as the native element holds it (util/colset.h).
    private static final long ZONE_NONE = 0;
    private static final long ZONE_BIAS = 0x40000;
    // What offset() answers for text without an offset, and for text that
    // is none.
    private static final long NO_OFFSET = Long.MAX_VALUE;
    private static final long BAD_OFFSET = Long.MIN_VALUE;

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
                return 3;
            case TIME:
                return 5;
            case TIMESTAMP:
                return 8;
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
        rowFailed = false;
        boolean onRow = false;
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
                onRow = true;
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
                onRow = false;
                ++rows;
            }
        } catch (Throwable t) {
            failure = t;
            rowFailed = onRow;
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
            if (!date) {
                fixed[slot + 3] = 0;
                fixed[slot + 4] = ZONE_NONE;
            }
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
     * its driver's shortcut reads (see {@link QMRShortcut}) and which hold
     * a zone. Anything unexpected leaves the columns to java.time.
     */
    private void chooseLocal(ResultSet rs) {
        if (localFor != null && localFor.get() == rs) {
            return;
        }
        localFor = new WeakReference<ResultSet>(rs);
        local = null;
        zoned = null;
        localAsText = false;
        boolean any = false;
        for (int k : kinds) {
            any |= k == DATE || k == TIME || k == TIMESTAMP;
        }
        if (!any) {
            return;
        }
        zoned = zonedColumns(rs);
        if (!shortcuts) {
            return;
        }
        shortcut = shortcutOf(rs.getClass());
        if (shortcut != null) {
            local = shortcut.wallColumns(rs, kinds);
        }
    }

    /**
     * The columns whose type carries a zone or an offset (PostgreSQL's
     * timetz and timestamptz among them): their text is the value as the
     * database writes it, in the session's zone; null when there are none.
     */
    private boolean[] zonedColumns(ResultSet rs) {
        try {
            ResultSetMetaData md = rs.getMetaData();
            boolean[] out = new boolean[kinds.length];
            boolean any = false;
            for (int c = 0; c < kinds.length; ++c) {
                int k = kinds[c];
                if (k != DATE && k != TIME && k != TIMESTAMP) {
                    continue;
                }
                int type = md.getColumnType(c + 1);
                String name = md.getColumnTypeName(c + 1);
                out[c] = type == Types.TIME_WITH_TIMEZONE || type == Types.TIMESTAMP_WITH_TIMEZONE
                        || "timetz".equals(name) || "timestamptz".equals(name);
                any |= out[c];
            }
            return any ? out : null;
        } catch (Exception e) {
            return null;
        }
    }

    /**
     * A date, time or timestamp from the shortcut's stored wall time; false
     * when it leaves the value to the other readers (nothing is written then).
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
        if (kind != TIME) {
            gregorian(Math.floorDiv(wall, DAY), slot);
            putDate(fixed[slot], fixed[slot + 1], fixed[slot + 2], slot);
        }
        if (kind != DATE) {
            long ms = Math.floorMod(wall, DAY);
            int at = kind == TIMESTAMP ? slot + 3 : slot;
            fixed[at] = ms / 3600000;
            fixed[at + 1] = ms / 60000 % 60;
            fixed[at + 2] = ms / 1000 % 60;
            fixed[at + 3] = wallNanos[0];
            if (kind == TIME) {
                fixed[at + 4] = ZONE_NONE;
            }
        }
        return true;
    }

    /** An astronomical year (0 is 1 BC) and its month and day. */
    private void putDate(long year, long month, long day, int slot) {
        fixed[slot] = year;
        fixed[slot + 1] = month;
        fixed[slot + 2] = day;
    }

    /**
     * A date, time or timestamp as the database holds it: the java.time
     * value while the driver gives one (a column with a zone aside), else
     * the database's text. False when the text is of no form read here
     * (the java.sql getter reads the value then).
     */
    private boolean readLocal(ResultSet rs, int kind, int col, int slot) throws SQLException {
        if (!localAsText && (zoned == null || !zoned[col - 1])) {
            Object v;
            try {
                Class<?> c = kind == DATE ? LocalDate.class
                        : kind == TIME ? LocalTime.class : LocalDateTime.class;
                v = rs.getObject(col, c);
            } catch (SQLWarning w) {
                throw w;
            } catch (SQLException | RuntimeException | AbstractMethodError e) {
                // Derby's driver takes no java.time class.
                localAsText = true;
                v = null;
            }
            if (!localAsText) {
                if (v == null) {
                    blank(kind, slot);
                    return true;
                }
                // LocalTime.MAX may be 24:00:00: only the text tells.
                if (!LocalTime.MAX.equals(v)) {
                    localFields(v, slot);
                    return true;
                }
            }
        }
        String text = rs.getString(col);
        if (text == null) {
            blank(kind, slot);
            return true;
        }
        return parseText(text.trim(), kind, slot);
    }

    /**
     * The fields of the database's text of a value: "2024-03-31",
     * "0044-03-15 BC", "-0043-03-15", "infinity", "24:00:00",
     * "12:34:56.123456+05:30" (a value with an offset keeps its own wall
     * time), "2024-03-31 02:30:00.0". False for any other text. The native
     * reader of a single value parses alike (j-datetime.cpp).
     */
    private boolean parseText(String s, int kind, int slot) {
        if (kind != TIME) {
            if (s.equalsIgnoreCase("infinity") || s.equalsIgnoreCase("+infinity")
                    || s.equalsIgnoreCase("-infinity")) {
                blank(kind, slot);
                fixed[slot] = s.charAt(0) == '-' ? -JAVA_YEAR_END : JAVA_YEAR_END;
                fixed[slot + 1] = 1;
                fixed[slot + 2] = 1;
                return true;
            }
            boolean bc = s.endsWith(" BC");
            if (bc || s.endsWith(" AD")) {
                s = s.substring(0, s.length() - 3);
            }
            int at = s.charAt(0) == '-' ? 1 : 0;
            int dash = s.indexOf('-', at);
            if (dash - at < 4 || s.length() < dash + 6 || s.charAt(dash + 3) != '-') {
                return false;
            }
            long y = digits(s, at, dash);
            long m = digits(s, dash + 1, dash + 3);
            long d = digits(s, dash + 4, dash + 6);
            if (y < 0 || m < 1 || m > 12 || d < 1 || d > 31 || (bc && (at == 1 || y == 0))) {
                return false;
            }
            putDate(bc ? 1 - y : at == 1 ? -y : y, m, d, slot);
            int rest = dash + 6;
            if (kind == DATE || rest == s.length()) {
                if (kind == TIMESTAMP) {
                    for (int i = 3; i < 7; ++i) {
                        fixed[slot + i] = 0;
                    }
                }
                return rest == s.length();
            }
            if (s.charAt(rest) != ' ' && s.charAt(rest) != 'T') {
                return false;
            }
            return parseTime(s, rest + 1, slot + 3, slot + 7);
        }
        return parseTime(s, 0, slot, slot + 4);
    }

    /**
     * hh:mm[:ss[.f]] and an offset from at to the end; the nanoseconds after
     * them, and the offset at zoneSlot.
     */
    private boolean parseTime(String s, int at, int slot, int zoneSlot) {
        int n = s.length();
        if (n < at + 5 || s.charAt(at + 2) != ':') {
            return false;
        }
        long h = digits(s, at, at + 2);
        long mi = digits(s, at + 3, at + 5);
        long se = 0;
        long ns = 0;
        int p = at + 5;
        if (p < n && s.charAt(p) == ':') {
            se = digits(s, p + 1, p + 3);
            p += 3;
        }
        if (p < n && s.charAt(p) == '.') {
            int q = ++p;
            while (p < n && Character.isDigit(s.charAt(p))) {
                ++p;
            }
            if (p == q) {
                return false;
            }
            String f = (s.substring(q, Math.min(p, q + 9)) + "000000000").substring(0, 9);
            ns = digits(f, 0, 9);
        }
        long zone = offset(s, p);
        if (zone == BAD_OFFSET) {
            return false;
        }
        if (h < 0 || mi < 0 || se < 0 || h > 24 || mi > 59 || se > 60
                || (h == 24 && (mi != 0 || se != 0 || ns != 0))) {
            return false;
        }
        fixed[slot] = h;
        fixed[slot + 1] = mi;
        fixed[slot + 2] = se;
        fixed[slot + 3] = ns;
        fixed[zoneSlot] = zone == NO_OFFSET ? ZONE_NONE : ZONE_BIAS + zone;
        return true;
    }

    /**
     * The offset from p to the end of s ("Z", "+05:30", "-03",
     * "+00:53:28") in seconds east; NO_OFFSET when there is none,
     * BAD_OFFSET for other text.
     */
    private static long offset(String s, int p) {
        int n = s.length();
        if (p == n) {
            return NO_OFFSET;
        }
        char sign = s.charAt(p);
        if (sign == 'Z' && p + 1 == n) {
            return 0;
        }
        if (sign != '+' && sign != '-') {
            return BAD_OFFSET;
        }
        String rest = s.substring(p + 1).replace(":", "");
        if (rest.length() != 2 && rest.length() != 4 && rest.length() != 6) {
            return BAD_OFFSET;
        }
        long h = digits(rest, 0, 2);
        long m = rest.length() > 2 ? digits(rest, 2, 4) : 0;
        long se = rest.length() > 4 ? digits(rest, 4, 6) : 0;
        if (h < 0 || h > 15 || m < 0 || m > 59 || se < 0 || se > 59) {
            return BAD_OFFSET;
        }
        long seconds = h * 3600 + m * 60 + se;
        return sign == '-' ? -seconds : seconds;
    }

    /** The decimal number of s from from to to; -1 when it is not all digits or too short. */
    private static long digits(String s, int from, int to) {
        if (to > s.length() || from >= to) {
            return -1;
        }
        long v = 0;
        for (int i = from; i < to; ++i) {
            char c = s.charAt(i);
            if (c < '0' || c > '9') {
                return -1;
            }
            v = v * 10 + (c - '0');
        }
        return v;
    }

    private void localFields(Object v, int slot) {
        LocalDate d = null;
        LocalTime t = null;
        if (v instanceof LocalDateTime) {
            d = ((LocalDateTime) v).toLocalDate();
            t = ((LocalDateTime) v).toLocalTime();
        } else if (v instanceof LocalDate) {
            d = (LocalDate) v;
        } else {
            t = (LocalTime) v;
        }
        if (d != null) {
            int y = d.getYear();
            if (y >= JAVA_YEAR_END || y <= -JAVA_YEAR_END) {
                // As the text's infinities are kept: the date part says no more.
                t = t == null ? null : LocalTime.MIDNIGHT;
            }
            putDate(y, d.getMonthValue(), d.getDayOfMonth(), slot);
            slot += 3;
        }
        if (t != null) {
            fixed[slot] = t.getHour();
            fixed[slot + 1] = t.getMinute();
            fixed[slot + 2] = t.getSecond();
            fixed[slot + 3] = t.getNano();
            if (d == null) {
                fixed[slot + 4] = ZONE_NONE;
            }
        }
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
                if ((local != null && local[col - 1] && readWall(rs, DATE, col, slot))
                        || readLocal(rs, DATE, col, slot)) {
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
                if ((local != null && local[col - 1] && readWall(rs, TIME, col, slot))
                        || readLocal(rs, TIME, col, slot)) {
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
                // Only a timestamp's text may carry an offset.
                fixed[slot + 7] = ZONE_NONE;
                if ((local != null && local[col - 1] && readWall(rs, TIMESTAMP, col, slot))
                        || readLocal(rs, TIMESTAMP, col, slot)) {
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
