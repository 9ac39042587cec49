// Writes LHA archives with headers of a given level (0, 1 or 2) and members
// packed by the encoders of Debian's libjlha-java with a given method
// (-lh0-, -lh1-, -lh5-, ...), for the packer's listing and test to read.
//
// Usage: java -cp jlha.jar:. LevelArchiveMaker LIST OUT
// LIST holds one line per member,
//   "archive<TAB>level<TAB>method<TAB>name<TAB>input file<TAB>seconds",
// the name written in code page 932 (a "/" in it makes a folder), the
// input file relative to the current folder ("-" for none), the time
// stamp in seconds since 1970 (UTC). A level followed by "u" gives the
// header a Unix time as well, as Unix archivers write it: at level 0 the
// extension after the name's CRC ('U', 0, the time, mode, owner, group),
// at levels 1 and 2 the extended header 0x54. The method -lhd- makes a
// folder's entry, without data. The members of each archive are written in
// the order of their lines into OUT/archive, and each archive ends with
// the end marker, a single byte 0.
import java.io.ByteArrayOutputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.io.UnsupportedEncodingException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.Arrays;
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
            boolean unixTime = field[1].endsWith("u");
            byte[] data = field[4].equals("-") ? new byte[0] : Files.readAllBytes(Paths.get(field[4]));
            writeMember(archive, Integer.parseInt(field[1].replace("u", "")), unixTime, field[2], field[3], data,
                    Long.parseLong(field[5]));
        }
        for (OutputStream archive : archives.values()) {
            archive.write(0);
            archive.close();
        }
    }

    // A header that carries a Unix time besides its own, through the
    // library's extension points: the extra data of a level-0 header, and
    // one more extended header.
    private static class UnixTimeHeader extends LhaHeader {
        private final byte[] time;

        UnixTimeHeader(String name, Date date, int level, long seconds) {
            super(name, date);
            time = new byte[] {(byte) seconds, (byte) (seconds >> 8), (byte) (seconds >> 16), (byte) (seconds >> 24)};
            if (level == 0) {
                setOSID((byte) 'U');
                // 'U', its version 0, the time, mode 0644 of a file, owner 0, group 0.
                setExtraData(new byte[] {'U', 0, time[0], time[1], time[2], time[3], (byte) 0xA4, (byte) 0x81, 0, 0, 0, 0});
            }
        }

        @Override
        protected byte[][] exportExtendHeaders(String encoding) throws UnsupportedEncodingException {
            byte[][] headers = super.exportExtendHeaders(encoding);
            byte[][] all = Arrays.copyOf(headers, headers.length + 1);
            all[headers.length] = new byte[] {0x54, time[0], time[1], time[2], time[3]};
            return all;
        }
    }

    private static void writeMember(OutputStream archive, int level, boolean unixTime, String method, String name,
            byte[] data, long seconds) throws IOException {
        ByteArrayOutputStream packed = new ByteArrayOutputStream();
        if (!method.equals("-lhd-")) {
            OutputStream encoder = CompressMethod.connectEncoder(packed, method, LhaProperty.getProperties());
            encoder.write(data);
            encoder.close();
        }

        CRC16 crc = new CRC16();
        crc.update(data, 0, data.length);
        Date date = new Date(seconds * 1000);
        LhaHeader header = unixTime ? new UnixTimeHeader(name, date, level, seconds) : new LhaHeader(name, date);
        header.setHeaderLevel(level);
        header.setCompressMethod(method);
        header.setOriginalSize(data.length);
        header.setCompressedSize(packed.size());
        header.setCRC((int) crc.getValue());
        archive.write(header.getBytes("MS932"));
        packed.writeTo(archive);
    }
}
