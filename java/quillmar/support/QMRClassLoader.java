package quillmar.support;

import java.net.URL;
import java.net.URLClassLoader;
import java.util.Hashtable;

/** Loads the JDBC driver's classes from its archives; found classes are shared by every instance. */
public class QMRClassLoader extends URLClassLoader {
    private static Hashtable<String, Class<?>> classes;

    static {
        classes = new Hashtable<String, Class<?>>();
    }

    public QMRClassLoader(URL[] urls) {
        super(urls);
    }

    protected Class<?> findClass(String name) throws ClassNotFoundException {
        Class<?> c = classes.get(name);
        if (c != null) {
            return c;
        }
        c = super.findClass(name);
        if (c != null) {
            classes.put(name, c);
        }
        return c;
    }
}
