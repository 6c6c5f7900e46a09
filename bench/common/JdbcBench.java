// The JDBC side of the insert, lookup and connect benchmarks: the same work
// as the driver side, straight through JDBC in this VM.
//   java -cp ARCHIVES:DIR JdbcBench insert URL USER TABLE ROWS ARRAY
//   java -cp ARCHIVES:DIR JdbcBench lookup URL USER TABLE ROWS LOOKUPS
//   java -cp ARCHIVES:DIR JdbcBench connect URL USER COUNT   (then 10,000 statement cycles)
// Prints "name value" lines; the C++ side reads them.
import java.sql.Connection;
import java.sql.DriverManager;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.Statement;

public final class JdbcBench {
  public static void main(String[] a) throws Exception {
    switch (a[0]) {
      case "insert": insert(a[1], a[2], a[3], Integer.parseInt(a[4]), Integer.parseInt(a[5])); break;
      case "lookup": lookup(a[1], a[2], a[3], Integer.parseInt(a[4]), Integer.parseInt(a[5])); break;
      case "connect": connect(a[1], a[2], Integer.parseInt(a[3])); break;
      default: throw new IllegalArgumentException(a[0]);
    }
  }

  static void fresh(Connection c, String table, String columns) throws Exception {
    try (Statement s = c.createStatement()) {
      s.execute("DROP TABLE IF EXISTS " + table);
      s.execute("CREATE TABLE " + table + " (" + columns + ")");
    }
    if (!c.getAutoCommit()) c.commit();
  }

  // Arrays of `array` rows, each one executeBatch and a commit.
  static long insertRows(Connection c, String table, int from, int rows, int array)
      throws Exception {
    try (PreparedStatement ps = c.prepareStatement("INSERT INTO " + table + " VALUES (?, ?, ?)")) {
      for (int base = from; base < from + rows; base += array) {
        for (int id = base; id < base + array; ++id) {
          ps.setInt(1, id);
          ps.setString(2, "name " + id);
          ps.setDouble(3, id * 0.5);
          ps.addBatch();
        }
        ps.executeBatch();
        c.commit();
      }
    }
    return rows;
  }

  static void insert(String url, String user, String table, int rows, int array) throws Exception {
    try (Connection c = DriverManager.getConnection(url, user, "")) {
      c.setAutoCommit(false);
      fresh(c, table, "id INTEGER, name VARCHAR(40), amount DOUBLE PRECISION");
      insertRows(c, table, 0, rows / 10, array);  // warm-up
      try (Statement s = c.createStatement()) { s.execute("DELETE FROM " + table); }
      c.commit();
      long t0 = System.nanoTime();
      insertRows(c, table, 0, rows, array);
      double secs = (System.nanoTime() - t0) / 1e9;
      System.out.println("insert_rows_per_s " + rows / secs);
    }
  }

  static void lookup(String url, String user, String table, int rows, int lookups)
      throws Exception {
    try (Connection c = DriverManager.getConnection(url, user, "")) {
      c.setAutoCommit(false);
      fresh(c, table, "k INTEGER PRIMARY KEY, v VARCHAR(40)");
      try (PreparedStatement ps = c.prepareStatement("INSERT INTO " + table + " VALUES (?, ?)")) {
        for (int k = 0; k < rows; ++k) {
          ps.setInt(1, k);
          ps.setString(2, "value " + k);
          ps.addBatch();
        }
        ps.executeBatch();
      }
      c.commit();
      c.setAutoCommit(true);
      try (PreparedStatement ps = c.prepareStatement("SELECT v FROM " + table + " WHERE k = ?")) {
        // As the driver side: passes for two seconds to warm the compiler up,
        // then the best of three, so that the figure is plain JDBC at its best.
        long sum = 0;
        for (long w0 = System.nanoTime(); System.nanoTime() - w0 < 2_000_000_000L;)
          sum = lookups(ps, rows, lookups);
        double best = Double.MAX_VALUE;
        for (int pass = 0; pass < 3; ++pass) {
          long t0 = System.nanoTime();
          sum = lookups(ps, rows, lookups);
          best = Math.min(best, (System.nanoTime() - t0) / 1e9);
        }
        System.out.println("lookup_us " + best * 1e6 / lookups);
        System.out.println("lookup_sum " + sum);
      }
    }
  }

  static long lookups(PreparedStatement ps, int rows, int n) throws Exception {
    long sum = 0;
    for (int i = 0; i < n; ++i) {
      ps.setInt(1, (int) ((i * 7919L) % rows));
      try (ResultSet rs = ps.executeQuery()) {
        if (rs.next()) sum += rs.getString(1).length();
      }
    }
    return sum;
  }

  // Statements made, run and closed on one connection: the JDBC side of the
  // driver's allocate, SQLExecDirect and free cycle.
  static void statementCycles(Connection c, int count) throws Exception {
    // A second of cycles to warm up, as the driver side does.
    for (long w0 = System.nanoTime(); System.nanoTime() - w0 < 1_000_000_000L;) cycle(c);
    long t0 = System.nanoTime();
    for (int i = 0; i < count; ++i) cycle(c);
    System.out.println("stmt_cycle_us " + (System.nanoTime() - t0) / 1e3 / count);
  }

  static void cycle(Connection c) throws Exception {
    try (Statement s = c.createStatement()) {
      s.execute(CYCLE_SQL);
    }
  }

  static final String CYCLE_SQL = "VALUES (1)";

  static void connect(String url, String user, int count) throws Exception {
    long t0 = System.nanoTime();
    Connection first = DriverManager.getConnection(url, user, "");
    first.close();
    System.out.println("connect_first_ms " + (System.nanoTime() - t0) / 1e6);
    // An in-memory database lives while a connection does: keep one open.
    try (Connection keep = DriverManager.getConnection(url, user, "")) {
      for (int i = 0; i < count / 10; ++i) DriverManager.getConnection(url, user, "").close();
      t0 = System.nanoTime();
      for (int i = 0; i < count; ++i) DriverManager.getConnection(url, user, "").close();
      System.out.println("connect_later_ms " + (System.nanoTime() - t0) / 1e6 / count);
      statementCycles(keep, 10000);
    }
  }
}
