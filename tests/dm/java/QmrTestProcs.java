// Procedures for the Driver Manager tests on Derby, whose routines are Java
// methods: an OUT or INOUT parameter is a one-element array.
import java.math.BigDecimal;
import java.sql.Connection;
import java.sql.DriverManager;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;

public final class QmrTestProcs {
  private QmrTestProcs() {}

  private static String repeat(char c, int n) {
    StringBuilder b = new StringBuilder(n);
    for (int i = 0; i < n; ++i) b.append(c);
    return b.toString();
  }

  public static void arith(int a, int[] b, int[] c) {
    b[0] = a * 2;
    c[0] = c[0] + a;
  }

  public static void text(String[] v) { v[0] = "Hello procedure world"; }

  // The Java thread a statement runs on.
  public static String threadName() { return Thread.currentThread().getName(); }

  public static void nullInt(Integer[] v) { v[0] = null; }

  public static void nullText(String[] v) { v[0] = null; }

  public static void intValue(int[] v) { v[0] = -123456; }

  public static void decimal(BigDecimal[] v) { v[0] = new BigDecimal("-98.125"); }

  public static void longText(String[] v) { v[0] = repeat('x', 8999) + "y"; }

  public static void grow(String[] v) { v[0] = v[0] + repeat('z', 5000); }

  public static void types(int[] i, long[] b, double[] d, BigDecimal[] n, String[] v,
                           java.sql.Date[] dt, java.sql.Timestamp[] ts) {
    i[0] = -42;
    b[0] = 9000000000123L;
    d[0] = 2.5;
    n[0] = new BigDecimal("1234.56");
    v[0] = "Gr\u00fc\u00dfe \u20ac \u65e5";
    dt[0] = java.sql.Date.valueOf("2024-02-29");
    ts[0] = java.sql.Timestamp.valueOf("2024-02-29 13:05:09.5");
  }

  public static void mixed(BigDecimal[] n, short[] sm, java.sql.Date[] dt,
                           java.sql.Timestamp[] ts) {
    n[0] = new BigDecimal("-98.125");
    sm[0] = 300;
    dt[0] = java.sql.Date.valueOf("2024-02-29");
    ts[0] = java.sql.Timestamp.valueOf("2024-02-29 13:05:09.5");
  }

  public static void rows(int n, ResultSet[] out) throws SQLException {
    Connection c = DriverManager.getConnection("jdbc:default:connection");
    PreparedStatement ps = c.prepareStatement(
        "SELECT k, sq FROM (VALUES (1, 1), (2, 4), (3, 9), (4, 16), (5, 25)) AS t(k, sq)"
        + " WHERE k <= ? ORDER BY k");
    ps.setInt(1, n);
    out[0] = ps.executeQuery();
  }
}
