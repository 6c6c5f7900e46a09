// The JDBC baseline of the fetch benchmark: the same rows from the same
// database (an in-memory HSQLDB of its own, or the PostgreSQL server), read
// straight through JDBC in this VM with auto-commit off and a fetch size of
// 1000, so that a driver that can stream does, as through the ODBC driver.
//   java -cp JAR:DIR FetchBench URL USER SELECT_SQL [SETUP_SQL ...]
// Prints one line per way of reading: "jdbc-<way> <rows> <seconds> <checksum>".
import java.math.BigDecimal;
import java.sql.Connection;
import java.sql.Date;
import java.sql.DriverManager;
import java.sql.ResultSet;
import java.sql.Statement;
import java.sql.Timestamp;
import java.time.LocalDate;
import java.time.LocalDateTime;

public final class FetchBench {
  // The checksum the C++ side computes the same way: it shows that both read
  // the same values, not only the same number of rows.
  static final class Sum {
    long i, b, vlen, d7, n100, dt, ts;
    void add(long iv, long bv, String v, double dv, BigDecimal nv, LocalDate dtv, LocalDateTime tsv) {
      i += iv;
      b += bv;
      vlen += v.length();
      d7 += Math.round(dv * 7);
      n100 += nv.movePointRight(2).longValueExact();
      dt += dtv.getYear() * 372L + dtv.getMonthValue() * 31L + dtv.getDayOfMonth();
      ts += tsv.toLocalDate().toEpochDay() * 86400L + tsv.toLocalTime().toSecondOfDay();
    }
    @Override public String toString() {
      return i + ":" + b + ":" + vlen + ":" + d7 + ":" + n100 + ":" + dt + ":" + ts;
    }
  }

  public static void main(String[] args) throws Exception {
    try (Connection c = DriverManager.getConnection(args[0], args[1], "");
         Statement s = c.createStatement()) {
      for (int k = 3; k < args.length; ++k) {
        if (!args[k].isEmpty()) s.execute(args[k]);
      }
      c.setAutoCommit(false);
      s.setFetchSize(1000);
      for (int round = 0; round < 2; ++round) {
        // The first round warms the VM up; the second is the one reported.
        typed(s, args[2], round == 1);
        text(s, args[2], round == 1);
      }
      c.rollback();
    }
  }

  static void typed(Statement s, String select, boolean report) throws Exception {
    long t0 = System.nanoTime();
    long rows = 0;
    Sum sum = new Sum();
    try (ResultSet rs = s.executeQuery(select)) {
      while (rs.next()) {
        int i = rs.getInt(1);
        long b = rs.getLong(2);
        String v = rs.getString(3);
        double d = rs.getDouble(4);
        BigDecimal n = rs.getBigDecimal(5);
        Date dt = rs.getDate(6);
        Timestamp ts = rs.getTimestamp(7);
        sum.add(i, b, v, d, n, dt.toLocalDate(), ts.toLocalDateTime());
        ++rows;
      }
    }
    if (report) print("jdbc-typed", rows, t0, sum);
  }

  static void text(Statement s, String select, boolean report) throws Exception {
    long t0 = System.nanoTime();
    long rows = 0;
    Sum sum = new Sum();
    try (ResultSet rs = s.executeQuery(select)) {
      while (rs.next()) {
        String[] col = new String[7];
        for (int k = 0; k < 7; ++k) col[k] = rs.getString(k + 1);
        sum.add(Long.parseLong(col[0]), Long.parseLong(col[1]), col[2], Double.parseDouble(col[3]),
                new BigDecimal(col[4]), LocalDate.parse(col[5]),
                LocalDateTime.parse(col[6].replace(' ', 'T')));
        ++rows;
      }
    }
    if (report) print("jdbc-getString", rows, t0, sum);
  }

  static void print(String way, long rows, long t0, Sum sum) {
    double secs = (System.nanoTime() - t0) / 1e9;
    System.out.println(way + " " + rows + " " + secs + " " + sum);
  }
}
