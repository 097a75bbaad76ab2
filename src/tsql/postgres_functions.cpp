// What a PostgreSQL database needs before translated statements run on it: the "nocase"
// collation, the T-SQL type names the schema declares as domains, and the tsql_* functions
// that translations call, written in SQL.
#include <string>

#include "tsql/tsql_translator.h"
#include "tsql_types.h"

namespace kvad::db {

namespace {

// Objects made once: PostgreSQL has no CREATE ... IF NOT EXISTS for collations in every form
// nor for domains, so each is made only when the schema lacks it.
constexpr std::string_view kSupportTypes = R"SQL(
DO $kvad$
BEGIN
    IF NOT EXISTS (SELECT 1 FROM pg_collation WHERE collname = 'nocase'
                   AND collnamespace = current_schema()::regnamespace) THEN
        -- Case-insensitive, accent-sensitive: compares as SQL Server's default collation.
        CREATE COLLATION nocase (provider = icu, locale = 'und-u-ks-level2',
                                 deterministic = false);
    END IF;
    IF NOT EXISTS (SELECT 1 FROM pg_type WHERE typname = 'tinyint'
                   AND typnamespace = current_schema()::regnamespace) THEN
        CREATE DOMAIN tinyint AS smallint CHECK (VALUE BETWEEN 0 AND 255);
    END IF;
    IF NOT EXISTS (SELECT 1 FROM pg_type WHERE typname = 'datetime'
                   AND typnamespace = current_schema()::regnamespace) THEN
        CREATE DOMAIN datetime AS timestamp(0);
    END IF;
    IF NOT EXISTS (SELECT 1 FROM pg_type WHERE typname = 'smalldatetime'
                   AND typnamespace = current_schema()::regnamespace) THEN
        CREATE DOMAIN smalldatetime AS timestamp(0);
    END IF;
    IF NOT EXISTS (SELECT 1 FROM pg_type WHERE typname = 'ntext'
                   AND typnamespace = current_schema()::regnamespace) THEN
        CREATE DOMAIN ntext AS text COLLATE nocase;
    END IF;
    IF NOT EXISTS (SELECT 1 FROM pg_type WHERE typname = 'tsql_bit'
                   AND typnamespace = current_schema()::regnamespace) THEN
        CREATE DOMAIN tsql_bit AS smallint CHECK (VALUE IN (0, 1));
    END IF;
END
$kvad$;
)SQL";

constexpr std::string_view kSupportFunctions = R"SQL(
-- GETDATE(): one value per statement, to the second, in the session's time zone.
CREATE OR REPLACE FUNCTION tsql_getdate() RETURNS timestamp LANGUAGE sql STABLE
AS $$ SELECT date_trunc('second', statement_timestamp())::timestamp $$;

CREATE OR REPLACE FUNCTION tsql_dateadd(part text, amount bigint, value timestamp)
RETURNS timestamp LANGUAGE sql IMMUTABLE
AS $$ SELECT value + CASE part
    WHEN 'year' THEN make_interval(years => amount::int)
    WHEN 'quarter' THEN make_interval(months => 3 * amount::int)
    WHEN 'month' THEN make_interval(months => amount::int)
    WHEN 'week' THEN make_interval(days => 7 * amount::int)
    WHEN 'hour' THEN make_interval(hours => amount::int)
    WHEN 'minute' THEN make_interval(mins => amount::int)
    WHEN 'second' THEN make_interval(secs => amount)
    ELSE make_interval(days => amount::int) END $$;

-- CONVERT(DATETIME, x) (keep_time 1) or CONVERT(DATE, x) (keep_time 0); blank text is
-- 1900-01-01 as in SQL Server.
CREATE OR REPLACE FUNCTION tsql_convert_datetime(value timestamp, keep_time int)
RETURNS timestamp LANGUAGE sql IMMUTABLE
AS $$ SELECT CASE WHEN keep_time = 1 THEN date_trunc('second', value)
                  ELSE date_trunc('day', value) END $$;
CREATE OR REPLACE FUNCTION tsql_convert_datetime(value text, keep_time int)
RETURNS timestamp LANGUAGE sql IMMUTABLE
AS $$ SELECT tsql_convert_datetime(CASE WHEN btrim(value) = '' THEN '1900-01-01'::timestamp
                                        ELSE btrim(value)::timestamp END, keep_time) $$;

CREATE OR REPLACE FUNCTION tsql_dateadd(part text, amount bigint, value text)
RETURNS timestamp LANGUAGE sql IMMUTABLE
AS $$ SELECT tsql_dateadd(part, amount, tsql_convert_datetime(value, 1)) $$;

-- CONVERT to an integer type: truncated toward zero, refused out of the type's range.
CREATE OR REPLACE FUNCTION tsql_convert_int(value numeric, type_name text)
RETURNS bigint LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE
    whole numeric := trunc(value);
BEGIN
    IF whole IS NULL THEN
        RETURN NULL;
    END IF;
    IF (type_name = 'tinyint' AND (whole < 0 OR whole > 255))
       OR (type_name = 'smallint' AND (whole < -32768 OR whole > 32767))
       OR (type_name = 'int' AND (whole < -2147483648 OR whole > 2147483647)) THEN
        RAISE EXCEPTION 'Arithmetic overflow error converting expression to data type %.',
            type_name USING ERRCODE = '22003';
    END IF;
    RETURN whole::bigint;
END $$;
CREATE OR REPLACE FUNCTION tsql_convert_int(value text, type_name text)
RETURNS bigint LANGUAGE sql IMMUTABLE
AS $$ SELECT tsql_convert_int(CASE WHEN btrim(value) = '' THEN 0
                                   ELSE btrim(value)::numeric END, type_name) $$;

-- CONVERT(DECIMAL(p, s), x): rounded to the scale, refused past p - s integer digits.
CREATE OR REPLACE FUNCTION tsql_convert_decimal(value numeric, prec int, scale int)
RETURNS numeric LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE
    rounded numeric := round(value, scale);
BEGIN
    IF rounded IS NOT NULL AND abs(rounded) >= power(10::numeric, prec - scale) THEN
        RAISE EXCEPTION 'Arithmetic overflow error converting numeric to data type numeric.'
            USING ERRCODE = '22003';
    END IF;
    RETURN rounded;
END $$;
CREATE OR REPLACE FUNCTION tsql_convert_decimal(value text, prec int, scale int)
RETURNS numeric LANGUAGE sql IMMUTABLE
AS $$ SELECT tsql_convert_decimal(btrim(value)::numeric, prec, scale) $$;

-- CONVERT(VARCHAR(length), x[, style]): dates by style, numbers with a decimal column's scale,
-- text cut to the length (-1: max).
CREATE OR REPLACE FUNCTION tsql_cut(value text, length int) RETURNS text LANGUAGE sql IMMUTABLE
AS $$ SELECT CASE WHEN length < 0 THEN value ELSE left(value, length) END $$;
CREATE OR REPLACE FUNCTION tsql_to_text(value timestamp, length int, style int, scale int)
RETURNS text LANGUAGE sql IMMUTABLE
AS $$ SELECT tsql_cut(to_char(value, CASE style
    WHEN 3 THEN 'DD/MM/YY' WHEN 23 THEN 'YYYY-MM-DD'
    WHEN 20 THEN 'YYYY-MM-DD HH24:MI:SS' WHEN 120 THEN 'YYYY-MM-DD HH24:MI:SS'
    WHEN 101 THEN 'MM/DD/YYYY' WHEN 102 THEN 'YYYY.MM.DD' WHEN 103 THEN 'DD/MM/YYYY'
    WHEN 104 THEN 'DD.MM.YYYY' WHEN 105 THEN 'DD-MM-YYYY' WHEN 108 THEN 'HH24:MI:SS'
    WHEN 111 THEN 'YYYY/MM/DD' WHEN 112 THEN 'YYYYMMDD' WHEN 126 THEN 'YYYY-MM-DD"T"HH24:MI:SS'
    ELSE 'Mon DD YYYY HH12:MIAM' END), length) $$;
CREATE OR REPLACE FUNCTION tsql_to_text(value numeric, length int, style int, scale int)
RETURNS text LANGUAGE sql IMMUTABLE
AS $$ SELECT tsql_cut(CASE WHEN scale >= 0 THEN round(value, scale)::text
                          ELSE value::text END, length) $$;
CREATE OR REPLACE FUNCTION tsql_to_text(value text, length int, style int, scale int)
RETURNS text LANGUAGE sql IMMUTABLE
AS $$ SELECT tsql_cut(value, length) $$;
-- CONVERT(VARCHAR(n), date, 23) is written as a cut of the stored text, which a timestamp is here
-- only through its ISO text.
CREATE OR REPLACE FUNCTION substr(value timestamp, start int, count int)
RETURNS text LANGUAGE sql IMMUTABLE
AS $$ SELECT substr(to_char(value, 'YYYY-MM-DD HH24:MI:SS'), start, count) $$;

-- '+' when the operand types are known only when the statement is prepared.
CREATE OR REPLACE FUNCTION tsql_add(a text, b text) RETURNS text LANGUAGE sql IMMUTABLE
AS $$ SELECT a || b $$;
CREATE OR REPLACE FUNCTION tsql_add(a numeric, b numeric) RETURNS numeric LANGUAGE sql IMMUTABLE
AS $$ SELECT a + b $$;

-- The T-SQL type a column was declared with, for columns without the schema's comment:
-- from PostgreSQL's type, the domains named as the T-SQL types they stand for.
CREATE OR REPLACE FUNCTION kvad_tsql_type(type_id oid, type_mod int)
RETURNS text LANGUAGE sql STABLE AS $$
SELECT CASE
    WHEN t.typtype = 'd' AND t.typname = 'tsql_bit' THEN 'bit'
    WHEN t.typtype = 'd' THEN t.typname::text
    ELSE CASE
        WHEN f LIKE 'character varying(%' THEN 'varchar' || substr(f, 18)
        WHEN f = 'character varying' OR f = 'text' THEN 'varchar(max)'
        WHEN f LIKE 'character(%' THEN 'char' || substr(f, 10)
        WHEN f LIKE 'numeric(%' THEN 'decimal' || substr(f, 8)
        WHEN f = 'numeric' THEN 'decimal(38,10)'
        WHEN f = 'integer' THEN 'int'
        WHEN f LIKE 'timestamp%' THEN 'datetime'
        WHEN f = 'double precision' THEN 'float'
        WHEN f = 'boolean' THEN 'bit'
        WHEN f = 'bytea' THEN 'varbinary(max)'
        ELSE f END
    END
FROM pg_type AS t, format_type(type_id, type_mod) AS f WHERE t.oid = type_id $$;

-- A column's name and T-SQL type as the schema declared them ("IE92_DeliveryTerms_Text
-- nvarchar(500)" in its comment), else its PostgreSQL name and the type it has.
CREATE OR REPLACE FUNCTION kvad_declared_name(relation oid, number int2)
RETURNS text LANGUAGE sql STABLE AS $$
SELECT COALESCE(NULLIF(split_part(col_description(relation, number), ' ', 1), ''), a.attname::text)
FROM pg_attribute AS a WHERE a.attrelid = relation AND a.attnum = number $$;
CREATE OR REPLACE FUNCTION kvad_declared_type(relation oid, number int2)
RETURNS text LANGUAGE sql STABLE AS $$
SELECT COALESCE(NULLIF(substr(d, strpos(d, ' ') + 1), ''), kvad_tsql_type(a.atttypid, a.atttypmod))
FROM pg_attribute AS a, COALESCE(col_description(relation, number), '') AS d
WHERE a.attrelid = relation AND a.attnum = number $$;
)SQL";

} // namespace

std::string PostgresSupportScript() {
    std::string types = "CREATE OR REPLACE FUNCTION kvad_system_types() "
                        "RETURNS TABLE(\"SYSTEM_TYPE_ID\" int, \"NAME\" text) "
                        "LANGUAGE sql IMMUTABLE AS $$ VALUES ";
    bool first = true;
    for (const tsql::SqlServerType& type : tsql::SystemTypes()) {
        types += (first ? "(" : ", (") + std::to_string(type.xtype) + ", '" +
                 std::string(type.name) + "')";
        first = false;
    }
    types += " $$;\n";
    // The type number of a declared type: its base name, lower case, without size; the names
    // PostgreSQL spells otherwise read as the T-SQL ones; unknown names are sql_variant (98).
    types += R"SQL(
CREATE OR REPLACE FUNCTION tsql_xtype(declared text) RETURNS int LANGUAGE sql IMMUTABLE AS $$
SELECT COALESCE((SELECT "SYSTEM_TYPE_ID" FROM kvad_system_types() WHERE "NAME" = CASE b
    WHEN 'integer' THEN 'int' WHEN 'boolean' THEN 'bit' WHEN 'double' THEN 'float'
    WHEN 'tsql_bit' THEN 'bit' ELSE b END), 98)
FROM lower(btrim(split_part(split_part(declared, '(', 1), ' ', 1))) AS b $$;
CREATE OR REPLACE FUNCTION tsql_type_name(declared text) RETURNS text LANGUAGE sql IMMUTABLE AS $$
SELECT "NAME" FROM kvad_system_types() WHERE "SYSTEM_TYPE_ID" = tsql_xtype(declared) $$;
)SQL";
    return std::string(kSupportTypes) + std::string(kSupportFunctions) + types;
}

} // namespace kvad::db
