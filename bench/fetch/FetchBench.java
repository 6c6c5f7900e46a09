// The JDBC baseline of the fetch benchmark: the same rows from the same
// database (an in-memory HSQLDB of its own, or the PostgreSQL server), read
// straight through JDBC in this VM with auto-commit off and a fetch size of
// 1000, so that a driver that can stream does, as through the ODBC driver.
// Plain JDBC at its fastest: typed getters (dates and timestamps through
// getObject with the java.time classes, which skips the calendar that
// getDate and getTimestamp go through), and for the text pass getString with
// the texts read by hand as the C++ side reads them: numbers parsed, dates
// and timestamps read by position.
// A warm-up round, then the best of two.
//   java -cp JAR:DIR FetchBench URL USER SELECT_SQL [SETUP_SQL ...]
// Prints one line per way of reading: "jdbc-<way> <rows> <seconds> <checksum>".
import java.math.BigDecimal;
import java.sql.Connection;
import java.sql.DriverManager;
import java.sql.ResultSet;
import java.sql.Statement;
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
      typed(s, args[2]);
      text(s, args[2]);
      String typed = null, text = null;
      double typedSecs = Double.MAX_VALUE, textSecs = Double.MAX_VALUE;
      for (int round = 0; round < 2; ++round) {
        long t0 = System.nanoTime();
        String line = typed(s, args[2]);
        double secs = (System.nanoTime() - t0) / 1e9;
        if (secs < typedSecs) { typedSecs = secs; typed = line; }
        t0 = System.nanoTime();
        line = text(s, args[2]);
        secs = (System.nanoTime() - t0) / 1e9;
        if (secs < textSecs) { textSecs = secs; text = line; }
      }
      System.out.println(typed);
      System.out.println(text);
      c.rollback();
    }
  }

  static String typed(Statement s, String select) throws Exception {
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
        LocalDate dt = rs.getObject(6, LocalDate.class);
        LocalDateTime ts = rs.getObject(7, LocalDateTime.class);
        sum.add(i, b, v, d, n, dt, ts);
        ++rows;
      }
    }
    return line("jdbc-typed", rows, t0, sum);
  }

  static String text(Statement s, String select) throws Exception {
    long t0 = System.nanoTime();
    long rows = 0;
    Sum sum = new Sum();
    try (ResultSet rs = s.executeQuery(select)) {
      while (rs.next()) {
        String[] col = new String[7];
        for (int k = 0; k < 7; ++k) col[k] = rs.getString(k + 1);
        sum.add(Long.parseLong(col[0]), Long.parseLong(col[1]), col[2], Double.parseDouble(col[3]),
                new BigDecimal(col[4]), date(col[5]), stamp(col[6]));
        ++rows;
      }
    }
    return line("jdbc-getString", rows, t0, sum);
  }

  // "yyyy-mm-dd" and "yyyy-mm-dd hh:mm:ss[.f]" read by position.
  static LocalDate date(String t) {
    return LocalDate.of(Integer.parseInt(t, 0, 4, 10), Integer.parseInt(t, 5, 7, 10),
                        Integer.parseInt(t, 8, 10, 10));
  }

  static LocalDateTime stamp(String t) {
    return LocalDateTime.of(date(t), java.time.LocalTime.of(Integer.parseInt(t, 11, 13, 10),
        Integer.parseInt(t, 14, 16, 10), Integer.parseInt(t, 17, 19, 10)));
  }

  static String line(String way, long rows, long t0, Sum sum) {
    double secs = (System.nanoTime() - t0) / 1e9;
    return way + " " + rows + " " + secs + " " + sum;
  }
}
