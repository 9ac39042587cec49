// Reads a level-0 LHA archive with the decoder of Debian's libjlha-java
// and writes each member's data to OUT/0, OUT/1, ... in archive order.
// Prints one line per member, "index<TAB>method<TAB>size<TAB>crc ok|crc bad",
// the CRC being that of the bytes read, compared with the header's.
//
// Usage: java -cp jlha.jar:. ArchiveReader ARCHIVE OUT
import java.io.ByteArrayOutputStream;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;

import jp.gr.java_conf.dangan.util.lha.CRC16;
import jp.gr.java_conf.dangan.util.lha.LhaHeader;
import jp.gr.java_conf.dangan.util.lha.LhaInputStream;

public class ArchiveReader {
    public static void main(String[] args) throws IOException {
        if (args.length != 2) {
            System.err.println("usage: ArchiveReader ARCHIVE OUT");
            System.exit(2);
        }
        try (InputStream file = new FileInputStream(args[0]); LhaInputStream archive = new LhaInputStream(file)) {
            int index = 0;
            for (LhaHeader header = archive.getNextEntry(); header != null; header = archive.getNextEntry()) {
                ByteArrayOutputStream data = new ByteArrayOutputStream();
                byte[] buffer = new byte[65536];
                for (int n = archive.read(buffer); n > 0; n = archive.read(buffer))
                    data.write(buffer, 0, n);
                byte[] bytes = data.toByteArray();
                try (OutputStream out = new FileOutputStream(args[1] + "/" + index)) {
                    out.write(bytes);
                }
                CRC16 crc = new CRC16();
                crc.update(bytes, 0, bytes.length);
                boolean ok = (int) crc.getValue() == header.getCRC();
                System.out.println(index + "\t" + header.getCompressMethod() + "\t" + bytes.length + "\t"
                        + (ok ? "crc ok" : "crc bad"));
                index++;
            }
        }
    }
}
