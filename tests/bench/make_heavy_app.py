#!/usr/bin/env python3
"""Writes the Java sources of the class-heavy benchmark application: CLASS_COUNT small classes of its
own (com.example.heavy.Cnnnn, each with a field, a constructor, a few methods with branches and
strings, as application classes have), groups that load and use a hundred of them each, and
HeavyApp, whose main uses every group and then appends System.nanoTime() to the file named by its last
argument, as the start-up benchmark's FirstLineApp does with its first line. The folder's sources.txt
lists every source, for javac's @file.

    make_heavy_app.py <source folder>
"""
import pathlib
import sys

CLASS_COUNT = 1600
GROUP_SIZE = 100
PACKAGE = "com.example.heavy"

CLASS = """package {package};

final class C{n:04d} {{
    private final int seed;
    private final String name = "C{n:04d}";

    C{n:04d}(int seed) {{
        this.seed = seed ^ {n};
    }}

    int value(int x) {{
        if (x < 0) {{
            return -x * {n} + seed;
        }}
        int total = 0;
        for (int i = 0; i < x % 7; i++) {{
            total += i * seed + name.length();
        }}
        return total;
    }}

    String describe() {{
        StringBuilder text = new StringBuilder(name);
        switch (seed % 3) {{
            case 0: text.append(" zero"); break;
            case 1: text.append(" one"); break;
            default: text.append(" other"); break;
        }}
        return text.toString();
    }}

    static int use(int x) {{
        C{n:04d} item = new C{n:04d}(x);
        return item.value(x) + item.describe().length();
    }}
}}
"""


def main() -> int:
    root = pathlib.Path(sys.argv[1])
    folder = root / PACKAGE.replace(".", "/")
    folder.mkdir(parents=True, exist_ok=True)
    for n in range(CLASS_COUNT):
        (folder / f"C{n:04d}.java").write_text(CLASS.format(package=PACKAGE, n=n))
    groups = range(CLASS_COUNT // GROUP_SIZE)
    for g in groups:
        calls = "\n".join(f"        total += C{n:04d}.use(x);" for n in range(g * GROUP_SIZE, (g + 1) * GROUP_SIZE))
        (folder / f"Group{g:02d}.java").write_text(
            f"package {PACKAGE};\n\nfinal class Group{g:02d} {{\n    static int use(int x) {{\n"
            f"        int total = 0;\n{calls}\n        return total;\n    }}\n}}\n")
    uses = "\n".join(f"        total += Group{g:02d}.use(args.length);" for g in groups)
    (folder / "HeavyApp.java").write_text(f"""package {PACKAGE};

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.nio.file.StandardOpenOption;

public final class HeavyApp {{
    private HeavyApp() {{}}

    public static void main(String[] args) throws Exception {{
        int total = 0;
{uses}
        long loaded = System.nanoTime();
        Files.write(Paths.get(args[args.length - 1]), (loaded + "\\n").getBytes(StandardCharsets.US_ASCII),
                StandardOpenOption.CREATE, StandardOpenOption.APPEND);
        if (total == 42) {{
            System.out.println(total);
        }}
    }}
}}
""")
    (root / "sources.txt").write_text("".join(f"{path}\n" for path in sorted(folder.glob("*.java"))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
