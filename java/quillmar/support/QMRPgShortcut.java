package quillmar.support;

import java.sql.ResultSet;
import java.sql.ResultSetMetaData;
import java.sql.SQLException;
import java.time.LocalDate;
import java.time.LocalDateTime;
import java.time.ZoneOffset;

/**
 * PostgreSQL's driver builds the values of its getDate and getTimestamp
 * (without a calendar) for plain date and timestamp columns from the stored
 * fields taken as a wall time of the VM's default zone, through a calendar
 * for each value. Its java.time getters give the stored fields themselves,
 * from the text or binary form alike. The infinities are left to the block's
 * own java.time reader, which keeps them apart. Stateless: shared by every
 * block and thread.
 */
final class QMRPgShortcut implements QMRShortcut {
    private static final long DAY = 86400000L;
    // Beyond these years a wall time would not fit in milliseconds.
    private static final int LAST_YEAR = 200000000;

    @Override
    public boolean readsColumn(ResultSetMetaData md, int kind, int col) throws SQLException {
        // The type's own name: a timestamp with a zone, a domain or an
        // array is left to its getter.
        String name = kind == QMRRowBlock.DATE ? "date"
                : kind == QMRRowBlock.TIMESTAMP ? "timestamp" : null;
        return name != null && name.equals(md.getColumnTypeName(col));
    }

    @Override
    public long wall(ResultSet rs, int kind, int col, int[] nanos) throws SQLException {
        if (kind == QMRRowBlock.DATE) {
            LocalDate v = rs.getObject(col, LocalDate.class);
            if (v == null) {
                return NULL;
            }
            if (Math.abs(v.getYear()) > LAST_YEAR) {
                return GETTER;
            }
            nanos[0] = 0;
            return v.toEpochDay() * DAY;
        }
        if (kind == QMRRowBlock.TIMESTAMP) {
            LocalDateTime v = rs.getObject(col, LocalDateTime.class);
            if (v == null) {
                return NULL;
            }
            if (Math.abs(v.getYear()) > LAST_YEAR) {
                return GETTER;
            }
            nanos[0] = v.getNano();
            return v.toEpochSecond(ZoneOffset.UTC) * 1000;
        }
        return GETTER;
    }
}
