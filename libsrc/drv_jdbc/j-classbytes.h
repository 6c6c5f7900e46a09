// The class files of the support classes, compiled at build time and
// defined into the VM from memory when it does not have them.
#ifndef QMR_DRV_JDBC_J_CLASSBYTES_H
#define QMR_DRV_JDBC_J_CLASSBYTES_H

extern const unsigned char XAXidClassBytes[];
extern const unsigned int XAXidClassSize;
extern const unsigned char QMRClassLoaderClassBytes[];
extern const unsigned int QMRClassLoaderClassSize;
extern const unsigned char QMRRowBlockClassBytes[];
extern const unsigned int QMRRowBlockClassSize;
extern const unsigned char QMRShortcutClassBytes[];
extern const unsigned int QMRShortcutClassSize;
extern const unsigned char QMRHsqldbShortcutClassBytes[];
extern const unsigned int QMRHsqldbShortcutClassSize;
extern const unsigned char QMRPgShortcutClassBytes[];
extern const unsigned int QMRPgShortcutClassSize;
extern const unsigned char QMRDescribeClassBytes[];
extern const unsigned int QMRDescribeClassSize;

#endif
