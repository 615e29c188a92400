-- Sample data for examples/orders.form's time axes, in SQLite's own SQL
-- and a database of its own: orders per day and channel over two years, a
-- rise over the years, a peak each summer, fewer web orders and more in the
-- stores at weekends (2025-01-01 was a Wednesday, so days 3 and 4 of each
-- week are Saturday and Sunday) and some day-to-day noise. Dates are ISO
-- texts in DATE columns, which makes them date fields.
CREATE TABLE daily(day DATE, channel TEXT, orders INTEGER);
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 729)
INSERT INTO daily(day, channel, orders)
SELECT date('2025-01-01', '+' || i || ' days'), channel,
       base + i / 12 + 40 - abs(((i + 1) % 365) - 182) * 40 / 182
            - (CASE WHEN i % 7 IN (3, 4) THEN weekend ELSE 0 END) + (i * 7919 + shift) % 23 - 11
FROM n, (SELECT 'Web' AS channel, 120 AS base, 18 AS weekend, 0 AS shift
         UNION ALL SELECT 'Store', 70, -12, 11);
-- The same by month: each month's first day stands for it.
CREATE TABLE monthly(month DATE, channel TEXT, orders INTEGER);
INSERT INTO monthly(month, channel, orders)
SELECT strftime('%Y-%m-01', day), channel, SUM(orders) FROM daily GROUP BY 1, 2 ORDER BY 1, 2;
