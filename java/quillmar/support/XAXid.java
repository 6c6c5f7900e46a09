package quillmar.support;

import java.util.Arrays;

import javax.transaction.xa.XAException;
import javax.transaction.xa.Xid;

/** A transaction branch identifier made from the values the XA caller gives. */
public class XAXid implements Xid {
    public int formatID;
    public byte[] gtrid;
    public byte[] bqual;

    public XAXid(Xid other) throws XAException {
        this(other.getFormatId(), other.getGlobalTransactionId(), other.getBranchQualifier());
    }

    public XAXid(int formatID, byte[] gtrid, byte[] bqual) throws XAException {
        this.formatID = -1;
        if (gtrid == null || bqual == null) {
            throw new XAException(XAException.XAER_INVAL);
        }
        if (gtrid.length > Xid.MAXGTRIDSIZE) {
            throw new XAException(XAException.XAER_INVAL);
        }
        if (bqual.length > Xid.MAXBQUALSIZE) {
            throw new XAException(XAException.XAER_INVAL);
        }
        this.formatID = formatID;
        this.gtrid = gtrid;
        this.bqual = bqual;
    }

    public int getFormatId() {
        return formatID;
    }

    public byte[] getGlobalTransactionId() {
        return gtrid;
    }

    public byte[] getBranchQualifier() {
        return bqual;
    }

    public boolean equals(Object o) {
        if (!(o instanceof Xid)) {
            return false;
        }
        Xid x = (Xid) o;
        if (formatID != x.getFormatId()) {
            return false;
        }
        byte[] g = x.getGlobalTransactionId();
        byte[] b = x.getBranchQualifier();
        if (gtrid != null && g != null && gtrid.length != g.length) {
            return false;
        }
        if (bqual != null && b != null && bqual.length != b.length) {
            return false;
        }
        if (gtrid != null && g != null) {
            for (int i = 0; i < gtrid.length; i++) {
                if (gtrid[i] != g[i]) {
                    return false;
                }
            }
        }
        if (bqual != null && b != null) {
            for (int i = 0; i < bqual.length; i++) {
                if (bqual[i] != b[i]) {
                    return false;
                }
            }
        }
        return true;
    }

    /**
     * Equal identifiers hash alike: JDBC drivers keep their branches in hash
     * maps, and every XA call brings a new object for the same branch.
     */
    public int hashCode() {
        return (formatID * 31 + Arrays.hashCode(gtrid)) * 31 + Arrays.hashCode(bqual);
    }

    /** formatID:gtrid:bqual in hex, for the driver's messages. */
    public String toString() {
        return Integer.toHexString(formatID) + ":" + hex(gtrid) + ":" + hex(bqual);
    }

    private static String hex(byte[] bytes) {
        StringBuilder b = new StringBuilder();
        if (bytes != null) {
            for (byte x : bytes) {
                b.append(Character.forDigit((x >> 4) & 15, 16)).append(Character.forDigit(x & 15, 16));
            }
        }
        return b.toString();
    }
}
