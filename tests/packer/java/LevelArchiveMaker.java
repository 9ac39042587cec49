// Writes LHA archives with headers of a given level (0, 1 or 2) and members
// packed by the encoders of Debian's libjlha-java with a given method
// (-lh0-, -lh1-, -lh5-, ...), for the packer's listing and test to read.
//
// Usage: java -cp jlha.jar:. LevelArchiveMaker LIST OUT
// LIST holds one line per member,
//   "archive<TAB>level<TAB>method<TAB>name<TAB>input file<TAB>seconds",
// the name written in code page 932 (a "/" in it makes a folder), the
// input file relative to the current folder, the time stamp in seconds
// since 1970 (UTC). The members of each archive are written in the order
// of their lines into OUT/archive, and each archive ends with the end
// marker, a single byte 0.
import java.io.ByteArrayOutputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.Date;
import java.util.LinkedHashMap;
import java.util.Map;

import jp.gr.java_conf.dangan.util.lha.CRC16;
import jp.gr.java_conf.dangan.util.lha.CompressMethod;
import jp.gr.java_conf.dangan.util.lha.LhaHeader;
import jp.gr.java_conf.dangan.util.lha.LhaProperty;

public class LevelArchiveMaker {
    public static void main(String[] args) throws IOException {
        if (args.length != 2) {
            System.err.println("usage: LevelArchiveMaker LIST OUT");
            System.exit(2);
        }
        Map<String, OutputStream> archives = new LinkedHashMap<>();
        for (String line : Files.readAllLines(Paths.get(args[0]), StandardCharsets.UTF_8)) {
            if (line.isEmpty() || line.startsWith("#"))
                continue;
            String[] field = line.split("\t", -1);
            OutputStream archive = archives.get(field[0]);
            if (archive == null) {
                archive = new FileOutputStream(Paths.get(args[1], field[0]).toString());
                archives.put(field[0], archive);
            }
            writeMember(archive, Integer.parseInt(field[1]), field[2], field[3],
                    Files.readAllBytes(Paths.get(field[4])), Long.parseLong(field[5]));
        }
        for (OutputStream archive : archives.values()) {
            archive.write(0);
            archive.close();
        }
    }

    private static void writeMember(OutputStream archive, int level, String method, String name, byte[] data,
            long seconds) throws IOException {
        ByteArrayOutputStream packed = new ByteArrayOutputStream();
        OutputStream encoder = CompressMethod.connectEncoder(packed, method, LhaProperty.getProperties());
        encoder.write(data);
        encoder.close();

        CRC16 crc = new CRC16();
        crc.update(data, 0, data.length);
        LhaHeader header = new LhaHeader(name, new Date(seconds * 1000));
        header.setHeaderLevel(level);
        header.setCompressMethod(method);
        header.setOriginalSize(data.length);
        header.setCompressedSize(packed.size());
        header.setCRC((int) crc.getValue());
        archive.write(header.getBytes("MS932"));
        packed.writeTo(archive);
    }
}
