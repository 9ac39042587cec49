// Writes level-0 LHA archives whose members are all packed as -lh1- by the
// independent encoder of libjlha-java, even where packing does not gain.
//
// Usage: java -cp jlha.jar:. Lh1ArchiveMaker LIST
// LIST holds one line per member, "archive<TAB>name<TAB>input file"; the
// members of each archive are written in the order of their lines, and
// each archive ends with the end marker, a single byte 0.
import java.io.ByteArrayOutputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

import jp.gr.java_conf.dangan.util.lha.CRC16;
import jp.gr.java_conf.dangan.util.lha.CompressMethod;
import jp.gr.java_conf.dangan.util.lha.LhaHeader;
import jp.gr.java_conf.dangan.util.lha.LhaProperty;

public class Lh1ArchiveMaker {
    public static void main(String[] args) throws IOException {
        if (args.length != 1) {
            System.err.println("usage: Lh1ArchiveMaker LIST");
            System.exit(2);
        }
        Map<String, OutputStream> archives = new LinkedHashMap<>();
        List<String> lines = Files.readAllLines(Paths.get(args[0]), StandardCharsets.UTF_8);
        for (String line : lines) {
            if (line.isEmpty())
                continue;
            String[] field = line.split("\t", -1);
            OutputStream archive = archives.get(field[0]);
            if (archive == null) {
                archive = new FileOutputStream(field[0]);
                archives.put(field[0], archive);
            }
            writeMember(archive, field[1], Files.readAllBytes(Paths.get(field[2])));
        }
        for (OutputStream archive : archives.values()) {
            archive.write(0);
            archive.close();
        }
    }

    private static void writeMember(OutputStream archive, String name, byte[] data) throws IOException {
        ByteArrayOutputStream packed = new ByteArrayOutputStream();
        OutputStream encoder = CompressMethod.connectEncoder(packed, CompressMethod.LH1, LhaProperty.getProperties());
        encoder.write(data);
        encoder.close();

        CRC16 crc = new CRC16();
        crc.update(data, 0, data.length);
        LhaHeader header = new LhaHeader(name);
        header.setHeaderLevel(0);
        header.setCompressMethod(CompressMethod.LH1);
        header.setOriginalSize(data.length);
        header.setCompressedSize(packed.size());
        header.setCRC((int) crc.getValue());
        archive.write(header.getBytes());
        packed.writeTo(archive);
    }
}
