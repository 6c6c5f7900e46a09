package quillmar.support;

import java.math.BigDecimal;
import java.nio.charset.StandardCharsets;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.SQLWarning;

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

    private final int[] kinds;
    private final int slotsPerRow;

    public final long[] fixed;
    public final byte[] nulls;
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

    public static int slots(int kind) {
        switch (kind) {
            case DATE:
            case TIME:
                return 3;
            case TIMESTAMP:
                return 7;
            default:
                return 1;
        }
    }

    public QMRRowBlock(int[] kinds, int capacity) {
        this.kinds = kinds.clone();
        int n = 0;
        for (int k : kinds) {
            n += slots(k);
        }
        slotsPerRow = n;
        fixed = new long[Math.max(1, n * capacity)];
        nulls = new byte[Math.max(1, kinds.length * capacity)];
    }

    /**
     * Reads up to max rows; the count of complete rows. A warning thrown
     * where a value is read stands for no value (the getter's default); one
     * thrown by next() ends the rows.
     */
    public int fill(ResultSet rs, int max) {
        rows = 0;
        byteCount = 0;
        charCount = 0;
        atEnd = false;
        failure = null;
        try {
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
        return rows;
    }

    private void blank(int kind, int slot) {
        boolean variable = kind == TEXT || kind == PLAIN || kind == WTEXT || kind == BINARY;
        int n = slots(kind);
        for (int i = 0; i < n; ++i) {
            fixed[slot + i] = variable ? -1 : 0;
        }
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
                java.sql.Date d = rs.getDate(col);
                fixed[slot] = d == null ? 0 : d.getYear() + 1900;
                fixed[slot + 1] = d == null ? 0 : d.getMonth() + 1;
                fixed[slot + 2] = d == null ? 0 : d.getDate();
                break;
            }
            case TIME: {
                java.sql.Time t = rs.getTime(col);
                fixed[slot] = t == null ? 0 : t.getHours();
                fixed[slot + 1] = t == null ? 0 : t.getMinutes();
                fixed[slot + 2] = t == null ? 0 : t.getSeconds();
                break;
            }
            case TIMESTAMP: {
                java.sql.Timestamp t = rs.getTimestamp(col);
                if (t == null) {
                    blank(TIMESTAMP, slot);
                } else {
                    fixed[slot] = t.getYear() + 1900;
                    fixed[slot + 1] = t.getMonth() + 1;
                    fixed[slot + 2] = t.getDate();
                    fixed[slot + 3] = t.getHours();
                    fixed[slot + 4] = t.getMinutes();
                    fixed[slot + 5] = t.getSeconds();
                    fixed[slot + 6] = t.getNanos();
                }
                break;
            }
            case TEXT:
                fixed[slot] = putBytes(text(rs.getString(col)));
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
                fixed[slot] = putBytes(text(s));
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

    private static byte[] text(String s) {
        return s == null ? null : s.getBytes(StandardCharsets.UTF_8);
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
