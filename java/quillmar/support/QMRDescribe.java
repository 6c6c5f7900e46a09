package quillmar.support;

import java.lang.reflect.Method;
import java.sql.ResultSetMetaData;
import java.sql.SQLException;
import java.sql.Types;

/**
 * Reads what a description of a result's columns takes from its metadata in
 * one call from native code instead of ten or more a column. The getters
 * run in the order, and with the arguments, of the column-by-column read.
 * Whatever one of them throws leaves this call: native code then reads
 * column by column, which reports the failure or stands in for the value
 * exactly as before.
 */
public final class QMRDescribe {
    /** Where each of a column's ints stands among them. */
    public static final int TYPE = 0;
    public static final int DISPLAY_SIZE = 1;
    public static final int SCALE = 2;
    public static final int PRECISION = 3;
    public static final int NULLABLE = 4;
    public static final int FLAGS = 5;
    /** Ints a column. */
    public static final int INTS = 6;
    /** Where each of a column's texts stands among them. */
    public static final int LABEL = 0;
    public static final int TABLE = 1;
    public static final int SCHEMA = 2;
    /** Texts a column. */
    public static final int TEXTS = 3;
    /** The bits of a column's FLAGS. */
    public static final int READ_ONLY = 1;
    public static final int WRITABLE = 2;
    /** An OTHER column whose type name says it holds GUIDs (uuid). */
    public static final int GUID = 4;
    /** A DOUBLE column whose type name is "money" (PostgreSQL's money). */
    public static final int MONEY = 8;
    /** A TIMESTAMP column whose type name is "timestamptz" (read with its offset). */
    public static final int ZONED = 16;
    /** The most columns a description holds. */
    private static final int MAX_COLUMNS = 0xFFFF;

    private QMRDescribe() {}

    /** The ints (INTS a column) and the texts (TEXTS a column) of md's columns. */
    public static Object[] describe(ResultSetMetaData md) throws SQLException {
        int n = Math.min(Math.max(md.getColumnCount(), 0), MAX_COLUMNS);
        int[] ints = new int[INTS * n];
        String[] texts = new String[TEXTS * n];
        for (int i = 0; i < n; ++i) {
            int c = i + 1;
            int at = INTS * i;
            int text = TEXTS * i;
            int type = md.getColumnType(c);
            ints[at + TYPE] = type;
            ints[at + DISPLAY_SIZE] = md.getColumnDisplaySize(c);
            ints[at + SCALE] = md.getScale(c);
            ints[at + PRECISION] = md.getPrecision(c);
            int flags = 0;
            if (type == Types.OTHER && isUuid(md.getColumnTypeName(c))) {
                flags |= GUID;
            } else if (type == Types.DOUBLE && "money".equalsIgnoreCase(md.getColumnTypeName(c))) {
                flags |= MONEY;
            } else if (type == Types.TIMESTAMP
                    && "timestamptz".equalsIgnoreCase(md.getColumnTypeName(c))) {
                flags |= ZONED;
            }
            texts[text + LABEL] = md.getColumnLabel(c);
            ints[at + NULLABLE] = md.isNullable(c);
            if (md.isReadOnly(c)) {
                flags |= READ_ONLY;
            }
            if (md.isWritable(c)) {
                flags |= WRITABLE;
            }
            ints[at + FLAGS] = flags;
            texts[text + TABLE] = md.getTableName(c);
            texts[text + SCHEMA] = orBase(md, md.getSchemaName(c), "getBaseSchemaName", c);
        }
        return new Object[] {ints, texts};
    }

    /**
     * text, or where it is empty what md's driver answers to its own getter
     * named base (PostgreSQL's driver answers getSchemaName with nothing and
     * getBaseSchemaName with the schema of a table's column); text when md
     * has no such getter or it fails.
     */
    private static String orBase(ResultSetMetaData md, String text, String base, int c) {
        if (text != null && !text.isEmpty()) {
            return text;
        }
        try {
            Method m = md.getClass().getMethod(base, int.class);
            Object got = m.invoke(md, c);
            return got instanceof String ? (String) got : text;
        } catch (ReflectiveOperationException | RuntimeException e) {
            return text;
        }
    }

    /** Where each of a column's ints of {@link #attributes} stands (1 or 0). */
    public static final int ATTR_WRITABLE = 0;
    public static final int ATTR_READ_ONLY = 1;
    public static final int ATTR_AUTO_INCREMENT = 2;
    public static final int ATTR_CASE_SENSITIVE = 3;
    public static final int ATTR_SEARCHABLE = 4;
    /** How many ints a column. */
    public static final int ATTRIBUTE_INTS = 5;

    /**
     * For the first n columns of md, what their attributes ask of it: the
     * ints (ATTRIBUTE_INTS a column), the type names and the names of the
     * columns in their tables (not their labels: the driver's base column
     * name where it has one, else getColumnName).
     */
    public static Object[] attributes(ResultSetMetaData md, int n) throws SQLException {
        int[] ints = new int[ATTRIBUTE_INTS * n];
        String[] names = new String[n];
        String[] bases = new String[n];
        for (int i = 0; i < n; ++i) {
            int c = i + 1;
            int at = ATTRIBUTE_INTS * i;
            ints[at + ATTR_WRITABLE] = md.isWritable(c) ? 1 : 0;
            ints[at + ATTR_READ_ONLY] = md.isReadOnly(c) ? 1 : 0;
            ints[at + ATTR_AUTO_INCREMENT] = md.isAutoIncrement(c) ? 1 : 0;
            ints[at + ATTR_CASE_SENSITIVE] = md.isCaseSensitive(c) ? 1 : 0;
            ints[at + ATTR_SEARCHABLE] = md.isSearchable(c) ? 1 : 0;
            names[i] = md.getColumnTypeName(c);
            String base = orBase(md, "", "getBaseColumnName", c);
            bases[i] = base != null && !base.isEmpty() ? base : md.getColumnName(c);
        }
        return new Object[] {ints, names, bases};
    }

    /** "uuid" in any case of its ASCII letters, as a C string comparison finds it. */
    private static boolean isUuid(String name) {
        if (name == null || name.length() != 4) {
            return false;
        }
        for (int i = 0; i < 4; ++i) {
            char ch = name.charAt(i);
            if (ch >= 'A' && ch <= 'Z') {
                ch = (char) (ch + ('a' - 'A'));
            }
            if (ch != "uuid".charAt(i)) {
                return false;
            }
        }
        return true;
    }
}
